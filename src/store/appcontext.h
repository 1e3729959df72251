#pragma once

#include "common/clock.h"
#include "common/tripgrid.h"
#include "common/usernotices.h"
#include "common/waitoverlay.h"
#include "common/windowstatus.h"
#include "store/localconnection.h"
#include "store/settings.h"

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace zelvano {

// One row of the event list.
struct EventRow
{
    QVariant id;
    QVariant fecha;
    QVariant descripcion;
};

// What the whole run shares, from start-up to exit: the settings record, the
// one local connection and its flags, the trip grid and the event list, the
// download choice of the tab, the operation under way, and the interfaces
// through which the core reaches the person at the desk. What a single job
// needs for itself (a download's request and limits, the groups of the
// milking file being read) belongs to that job, not here.
struct AppContext
{
    AppContext(Clock &clock, UserNotices &notices, WaitOverlay &overlay, WindowStatus &window)
        : clock(clock), notices(notices), overlay(overlay), window(window)
    {
    }

    Clock &clock;
    UserNotices &notices;
    WaitOverlay &overlay;
    WindowStatus &window;

    // The program's folder: conexion.txt lives here.
    QString homeDir;

    Settings settings;

    std::unique_ptr<LocalConnection> connection;
    bool Connected = false;
    bool LockNoticeArmed = false;

    TripGrid grid;
    std::vector<EventRow> events;

    // The tab of the download: new trips only, or the range of the two pickers
    // (an invalid DTdesde is the picker left empty).
    bool newTripsOnly = true;
    QDate DTdesde;
    QDate DThasta;

    // A download yields to the message loop; a second one must not start then.
    bool downloadRunning = false;

    // --- scheduler and window

    // The operation that uses the local connection now ("" when none): the
    // tick, or a download, save or event list the user started. One at a time.
    QString runningOperation;

    // Ends the program at once (the unknown connection failure). Tests replace it.
    std::function<void(int)> endProgram;

    // The open local connection; error 3709 when it is closed.
    LocalConnection &db();

    QDate today() const { return clock.today(); }
    // The current time of day as the messages write it, "14:05:09".
    QString timeText() const;
};

} // namespace zelvano
