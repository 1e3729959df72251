#include <QApplication>

#include <gtest/gtest.h>

namespace {

// One QApplication for every test of this program.
class QtApplication : public ::testing::Environment
{
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "app_tests";
        static char *argv[] = {name, nullptr};
        m_app = new QApplication(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    void TearDown() override
    {
        delete m_app;
        m_app = nullptr;
    }

private:
    QApplication *m_app = nullptr;
};

const auto *const environment = ::testing::AddGlobalTestEnvironment(new QtApplication);

} // namespace
