// The benchmark: ./run bench [--long]. Prints one table of medians and spreads over repeated runs
// of what the user feels: the viewer's start, a touch's road to the host, the overlay switches,
// a button's drawing, the panel's step, Kickoff's reaction to the card and its memory, DarkPane's life.
#include "Bench.h"

#include "DeviceTest.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace bench {

double Ms()
{
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

double Percentile(std::vector<double> v, double p)
{
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const double at = p * static_cast<double>(v.size() - 1);
    const size_t lo = static_cast<size_t>(std::floor(at)), hi = static_cast<size_t>(std::ceil(at));
    return v[lo] + (v[hi] - v[lo]) * (at - static_cast<double>(lo));
}

double Median(std::vector<double> v) { return Percentile(std::move(v), 0.5); }

void Table::Add(const Row& row)
{
    m_rows.push_back(row);
    // Rows also go out as they come, so a long run shows its progress.
    std::printf("  measured: %s (%zu samples, median %.2f %s)\n", row.measure.c_str(), row.samples.size(),
                Median(row.samples), row.unit.c_str());
    std::fflush(stdout);
}

void Table::Note(const std::string& line) { m_notes.push_back(line); }

void Table::Print() const
{
    std::printf("\n%-52s %4s %10s %21s %21s  %-18s %s\n", "measure", "n", "median", "p10 .. p90", "min .. max", "target", "");
    std::printf("%s\n", std::string(140, '-').c_str());
    for (const Row& r : m_rows) {
        if (r.samples.empty()) {
            std::printf("%-52s %4s %10s  %s\n", r.measure.c_str(), "0", "-", r.note.c_str());
            continue;
        }
        const double med = Median(r.samples);
        char spread[64], range[64], median[32];
        std::snprintf(median, sizeof median, "%.2f %s", med, r.unit.c_str());
        std::snprintf(spread, sizeof spread, "%.2f .. %.2f", Percentile(r.samples, 0.1), Percentile(r.samples, 0.9));
        std::snprintf(range, sizeof range, "%.2f .. %.2f", *std::min_element(r.samples.begin(), r.samples.end()),
                      *std::max_element(r.samples.begin(), r.samples.end()));
        const char* verdict = r.limit < 0 ? "" : (med < r.limit ? "met" : "MISSED");
        std::printf("%-52s %4zu %10s %21s %21s  %-18s %s%s%s\n", r.measure.c_str(), r.samples.size(), median, spread,
                    range, r.target.c_str(), verdict, r.note.empty() ? "" : "  ", r.note.c_str());
    }
    if (!m_notes.empty()) std::printf("\n");
    for (const std::string& n : m_notes) std::printf("%s\n", n.c_str());
    std::fflush(stdout);
}

void FillCard()
{
    devtest::CreateFolders(devtest::CardRoot() + L"\\appdata");
    std::vector<std::string> tv, radio;
    for (int i = 0; i < 20; ++i) tv.push_back("TV " + std::to_string(i));
    for (int i = 0; i < 80; ++i) radio.push_back("Radio " + std::to_string(i));
    devtest::WriteChannelFile(12, 30, tv, radio);
}

void FillCardAndStore()
{
    FillCard();
    for (auto v : std::vector<std::pair<const wchar_t*, DWORD>>{{L"Volume", 5}, {L"DLS", 1}, {L"PIP", 0}, {L"Bright", 5},
                                                                 {L"FMTx", 881}, {L"Dimmer", 0}})
        devtest::WriteDword(v.first, v.second);
}

}  // namespace bench

int main(int argc, char** argv)
{
    bench::Options options;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--long") == 0) options.longWait = true;
        else if (std::strncmp(argv[i], "--repeats=", 10) == 0) options.repeats = std::max(3, std::atoi(argv[i] + 10));
        else {
            std::printf("usage: device_bench [--long] [--repeats=N]\n"
                        "  --long       Kickoff's memory over a 10-minute wait (default: 1 minute), and the\n"
                        "               viewer's and panel's memory over 10,000 events (default: 3,000)\n"
                        "  --repeats=N  samples per measure (default 15)\n");
            return 2;
        }
    }
    SetCurrentDirectoryW(L"C:\\");
    bench::Table table;
    std::printf("benchmark: %d repeats per measure, Kickoff's wait %s\n", options.repeats,
                options.longWait ? "10 minutes (--long)" : "1 minute (--long for 10 minutes)");
    bench::ViewerInProcess(table, options);
    bench::DevicePrograms(table, options);
    bench::KickoffWaits(table, options);
    bench::DeviceMemory(table, options);
    table.Print();
    return 0;
}
