// Saves a large generated grid into the database of a home folder and tells
// on standard output when the save is well under way, then slows down so that
// the test can kill it in the middle of the transaction.

#include "store/appcontext.h"
#include "store/connection.h"
#include "store/settings.h"
#include "trips/save.h"
#include "tripgridbuilder.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace zelvano;

namespace {

class SignallingWindow : public HeadlessWindowStatus
{
public:
    explicit SignallingWindow(int signalAfter) : m_signalAfter(signalAfter) {}
    void yieldToEvents() override
    {
        if (++m_yields == m_signalAfter) {
            std::printf("saving\n");
            std::fflush(stdout);
        }
        if (m_yields > m_signalAfter)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

private:
    int m_signalAfter;
    int m_yields = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: save_kill_helper HOME FIRST_ID TRIPS\n");
        return 2;
    }
    const int first = std::atoi(argv[2]);
    const int trips = std::atoi(argv[3]);
    SystemClock clock;
    HeadlessNotices notices;
    HeadlessOverlay overlay;
    SignallingWindow window(trips / 4);
    AppContext ctx(clock, notices, overlay, window);
    ctx.homeDir = QString::fromLocal8Bit(argv[1]);
    ctx.settings.LocaleDecimalSeparator = QStringLiteral(".");
    ctx.endProgram = [](int code) { std::exit(code); };
    Conectar_Base(ctx);
    if (!ctx.Connected)
        return 1;
    Inicializar_Usuarios(ctx);

    test::setTripColumns(ctx.grid);
    for (int i = 0; i < trips; ++i) {
        test::TripCells t;
        t.id = first + i;
        const int r = test::addTrip(ctx.grid, t);
        for (int k = 0; k < 6; ++k) {
            test::LoadCells l;
            l.idAlim = QString::number(k + 1);
            l.kgReal = QStringLiteral("100");
            test::addLoad(ctx.grid, r, l);
        }
        for (int k = 0; k < 8; ++k) {
            test::UnloadCells u;
            u.idRodeo = QString::number(k + 1);
            test::addUnload(ctx.grid, r, u);
        }
    }
    CmdGrabar_Click(ctx);
    std::printf("saved\n");
    return 0;
}
