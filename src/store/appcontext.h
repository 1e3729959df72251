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

class WebRequest;

// One row of the event list.
struct EventRow
{
    QVariant id;
    QVariant fecha;
    QVariant descripcion;
};

// Everything the subsystems share for one run of the program: the settings
// record, the one local connection and its flags, the trip grid and the
// event list, the download choice of the tab, and the interfaces through
// which the core reaches the person at the desk.
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

    // --- trip download
    // A download yields to the message loop; a second one must not start then.
    bool downloadRunning = false;
    // The download's WEB request, replaced at the start of every download.
    std::shared_ptr<WebRequest> tripRequest;
    // The WEB request's limits (milliseconds): connection, then the longest
    // silence while sending or receiving.
    int downloadConnectTimeoutMs = 60000;
    int downloadSendTimeoutMs = 30000;
    int downloadReceiveTimeoutMs = 30000;

    // --- trip save

    // --- milk import

    // One group of the milking file being imported. code is the group's code
    // in the dairy software until a herd claims the group; from then on it is
    // that herd's id.
    struct ProductionRow
    {
        QString code;
        double heads = 0;
        double litres = 0;
        double pitKg = 0;
    };
    // The groups of the file last read, in file order (any number of them).
    std::vector<ProductionRow> ProductionRows;

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
