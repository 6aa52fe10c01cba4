// The benchmark of what the user feels: shared timing, statistics and the table it prints.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// Milliseconds on the machine's monotonic clock, the same in every process of the machine.
double Ms();

struct Options {
    bool longWait = false;   // Kickoff's memory over 10 minutes instead of 1; 10,000 events instead of 3,000
    int repeats = 15;
};

// One row of the table: samples in milliseconds (or another unit), a target and its verdict.
struct Row {
    explicit Row(std::string name) : measure(std::move(name)) {}
    std::string measure;
    std::string unit = "ms";
    std::vector<double> samples;
    std::string target;       // e.g. "< 10 ms median"; empty: no target, shown for context
    double limit = -1;        // the median must stay under it; -1: no verdict
    std::string note;
};

class Table {
public:
    void Add(const Row& row);
    void Note(const std::string& line);   // printed under the table
    void Print() const;

private:
    std::vector<Row> m_rows;
    std::vector<std::string> m_notes;
};

double Median(std::vector<double> v);
double Percentile(std::vector<double> v, double p);

// The measures, each adding its rows.
// The card with its appdata folder and a full channel file: 20 TV and 80 radio names, on 12 and 30.
void FillCard();
// The card filled, and the store the real programs start from (volume 5, DLS on, brightness 5, 88.1 MHz).
void FillCardAndStore();

void ViewerInProcess(Table& table, const Options& options);   // start, switches, presses
void DevicePrograms(Table& table, const Options& options);    // real programs: touch, panel, start
void KickoffWaits(Table& table, const Options& options);      // reaction to the card, memory; DarkPane's life
void DeviceMemory(Table& table, const Options& options);      // real viewer and panel over thousands of events

}  // namespace bench
