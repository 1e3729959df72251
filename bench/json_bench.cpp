// The record walk over a large server answer, side by side with a strict
// parser reading the same text, and against a walk that copies the rest of
// the answer for every row.
#include "json/json.h"
#include "json/recordwalk.h"

#include <benchmark/benchmark.h>

#ifdef ZELVANO_HAVE_NLOHMANN
#include <nlohmann/json.hpp>
#endif

#include <QString>

#include <cstdio>
#include <map>
#include <string>

using namespace zelvano::json;

namespace {

// Flat rows of ten keys, texts and numbers, about 200 bytes each.
std::string makeAnswer(int rows)
{
    std::string s;
    s.reserve(std::size_t(rows) * 210 + 2);
    s += '[';
    char buf[512];
    for (int i = 0; i < rows; ++i) {
        const int n = std::snprintf(
            buf, sizeof buf,
            "%s{\"id_viaje\":\"%d\",\"fecha\":\"2026-12-%02d\",\"hora\":\"%02d:%02d:%02d\","
            "\"id_mixer\":%d,\"operador\":\"Turno %d tarde\","
            "\"kg_total\":\"%d.%02d\",\"id_rodeo\":%d,\"cabezas\":%d,"
            "\"lat\":-34.%06d,\"observacion\":\"Sin novedad %06d\"}",
            i ? "," : "", 100000 + i, i % 28 + 1, i % 24, i % 60, (i * 7) % 60, i % 9,
            i % 5, 10000 + i % 5000, i % 100, i % 300, 20 + i % 200, (i * 37) % 1000000, i);
        s.append(buf, std::size_t(n));
    }
    s += ']';
    return s;
}

struct Answer
{
    explicit Answer(int rows) : utf8(makeAnswer(rows)), text(QString::fromStdString(utf8)) {}
    std::string utf8;
    QString text;
};

const Answer &answer(int rows)
{
    static std::map<int, Answer> cache;
    auto it = cache.find(rows);
    if (it == cache.end())
        it = cache.emplace(rows, Answer(rows)).first;
    return it->second;
}

void BM_RecordWalk(benchmark::State &state)
{
    const Answer &a = answer(int(state.range(0)));
    for (auto _ : state) {
        RecordWalk walk(a.text);
        qsizetype n = 0;
        while (walk.next())
            n += walk.row().item(QStringLiteral("id_viaje")).text().size();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * qint64(a.utf8.size()));
    state.counters["MB"] = double(a.utf8.size()) / 1e6;
}

// The walk as first written: the rest of the answer is copied for every row.
void BM_CopyingWalk(benchmark::State &state)
{
    const Answer &a = answer(int(state.range(0)));
    for (auto _ : state) {
        qsizetype n = 0;
        qsizetype p = a.text.indexOf(u'{');
        if (p >= 0) {
            QString rest = a.text.mid(p).chopped(1);
            while (!rest.isEmpty()) {
                const JsonValue row = ParseJson(rest);
                n += row.item(QStringLiteral("id_viaje")).text().size();
                rest = rest.mid(1);
                p = rest.indexOf(u'{');
                if (p < 0)
                    break;
                rest = rest.mid(p);
            }
        }
        benchmark::DoNotOptimize(n);
    }
}

#ifdef ZELVANO_HAVE_NLOHMANN
void BM_Nlohmann(benchmark::State &state)
{
    const Answer &a = answer(int(state.range(0)));
    for (auto _ : state) {
        const nlohmann::json j = nlohmann::json::parse(a.utf8);
        std::size_t n = 0;
        for (const auto &row : j)
            n += row["id_viaje"].get_ref<const std::string &>().size();
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(qint64(state.iterations()) * qint64(a.utf8.size()));
}
BENCHMARK(BM_Nlohmann)->Arg(100000)->Unit(benchmark::kMillisecond);
#endif

BENCHMARK(BM_RecordWalk)->Arg(100000)->Arg(10000)->Arg(5000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyingWalk)->Arg(10000)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(2);

// Keeps the time per iteration of every run, for the ratios printed at the end.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                times[run.benchmark_name()] = run.real_accumulated_time / double(run.iterations);
        }
    }
    std::map<std::string, double> times;
};

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const auto t = [&](const char *name) {
        const auto it = reporter.times.find(name);
        return it == reporter.times.end() ? -1.0 : it->second;
    };
    const double walk100k = t("BM_RecordWalk/100000");
    const double walk10k = t("BM_RecordWalk/10000");
    const double copy10k = t("BM_CopyingWalk/10000/iterations:2");
    const double copy5k = t("BM_CopyingWalk/5000/iterations:2");
    int status = 0;
#ifdef ZELVANO_HAVE_NLOHMANN
    const double strict100k = t("BM_Nlohmann/100000");
    if (walk100k > 0 && strict100k > 0) {
        const double ratio = walk100k / strict100k;
        std::printf("record walk / nlohmann::json, 100000 rows: %.3f (%.1f ms / %.1f ms)%s\n",
                    ratio, walk100k * 1e3, strict100k * 1e3, ratio <= 1.5 ? "" : "  ABOVE 1.5");
        if (ratio > 1.5)
            status = 1;
    }
#endif
    if (walk100k > 0 && walk10k > 0 && copy10k > 0 && copy5k > 0) {
        // The copying walk costs a*n + b*n^2: fit both from 5000 and 10000 rows.
        const double n1 = 5000, n2 = 10000;
        const double b = (copy10k / n2 - copy5k / n1) / (n2 - n1);
        const double a = copy10k / n2 - b * n2;
        const double copy100k = a * 1e5 + b * 1e10;
        std::printf("copying walk / record walk, 10000 rows (measured): %.1f\n", copy10k / walk10k);
        std::printf("copying walk / record walk, 100000 rows (extrapolated %.1f s): %.1f%s\n",
                    copy100k, copy100k / walk100k, copy100k / walk100k >= 50 ? "" : "  BELOW 50");
        if (copy100k / walk100k < 50)
            status = 1;
    }
    return status;
}
