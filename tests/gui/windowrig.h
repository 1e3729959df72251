#pragma once

#include "app/startup.h"
#include "app/ticktimer.h"
#include "gui/frmsucesosauto.h"
#include "gui/waitpanel.h"
#include "platform/instancelock.h"
#include "support/testsupport.h"

#include <QSettings>

#include <gtest/gtest.h>

namespace zelvano::test {

class FreeFolder final : public InstanceClaim
{
public:
    bool claim(const QString &) override { return true; }
};

// A window starts from no remembered size or widths unless told to keep them.
struct WindowSettingsAtStart
{
    explicit WindowSettingsAtStart(bool keep)
    {
        if (!keep)
            gui::openWindowSettings()->clear();
    }
};

// A window on a test home, its context built on the window.
struct WindowRig
{
    explicit WindowRig(bool tray = true, bool keepSettings = false)
        : settingsAtStart(keepSettings), ctx(home.clock, home.notices, form.overlay(), form)
    {
        ctx.homeDir = home.dir();
        ctx.endProgram = [this](int code) { endedWith = code; };
        form.trayAvailable = [tray] { return tray; };
        form.attach(ctx);
    }
    ~WindowRig() { form.detach(); }

    bool start()
    {
        FreeFolder instance;
        return Form_Load(ctx, {instance, timer, form});
    }

    TestHome home;
    WindowSettingsAtStart settingsAtStart;
    gui::FrmSucesosAuto form;
    AppContext ctx;
    ManualTickTimer timer;
    int endedWith = -1;
};

template <typename T> T *child(const gui::FrmSucesosAuto &form, const char *name)
{
    T *widget = qobject_cast<T *>(form.control(QString::fromLatin1(name)));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
}

} // namespace zelvano::test
