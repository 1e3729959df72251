#include <QApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

// One QApplication for every test of this program. The window keeps its size
// and column widths in the user's configuration folder: here that is a folder
// of the test run's own, never the real user's.
class QtApplication : public ::testing::Environment
{
public:
    void SetUp() override
    {
        m_config = std::make_unique<QTemporaryDir>();
        qputenv("XDG_CONFIG_HOME", m_config->path().toLocal8Bit());
        QStandardPaths::setTestModeEnabled(true);
        // A test that starts this program again for another screen says which.
        if (qEnvironmentVariableIsSet("ZELVANO_TEST_QPA"))
            qputenv("QT_QPA_PLATFORM", qgetenv("ZELVANO_TEST_QPA"));
        static int argc = 1;
        static char name[] = "gui_tests";
        static char *argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, m_config->path());
    }
    void TearDown() override
    {
        delete m_app;
        m_app = nullptr;
        m_config.reset();
    }

private:
    QApplication *m_app = nullptr;
    std::unique_ptr<QTemporaryDir> m_config;
};

const auto *const environment = ::testing::AddGlobalTestEnvironment(new QtApplication);

} // namespace
