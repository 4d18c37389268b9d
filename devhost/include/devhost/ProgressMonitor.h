// The progress monitor the host hands to a filter's process: a labelled
// progress bar redrawn in place on a terminal, fitted to its width so that
// it never wraps, plain "progress: <label>: N%" lines (at most one per 10%)
// otherwise, nothing when the host is quiet.
#ifndef DEVHOST_PROGRESSMONITOR_H
#define DEVHOST_PROGRESSMONITOR_H

#include <functional>
#include <iosfwd>
#include <string>

#include <lwsdk/monitor.h>

namespace devhost {

class ProgressMonitor {
public:
    enum class Style { Silent, Lines, Bar };

    // Bar when standard output is a terminal, else Lines; Silent when quiet.
    static Style styleForStdout(bool quiet);

    // label says whose progress it is ("Ravelcast, frame 2 (1 of 3)");
    // columns answers the terminal's width (default: standard output's).
    ProgressMonitor(Style style, std::ostream *out, std::string label = {},
                    std::function<int()> columns = {});

    // The bar's line for a width: label, bar and percentage, shortened so
    // that it stays within columns - 1 characters.
    static std::string barLine(const std::string &label, int percent, int columns);
    ProgressMonitor(const ProgressMonitor &) = delete;
    ProgressMonitor &operator=(const ProgressMonitor &) = delete;

    // The host's table; valid while this object lives.
    LWMonitor *table() { return &table_; }

    void init(unsigned int total);
    // Never asks to abort (answers 0).
    int step(unsigned int increment);
    void done();

    // Percent of the steps done so far (0 before init).
    int percent() const;

private:
    void show();

    Style style_;
    std::ostream *out_;
    std::string label_;
    std::function<int()> columns_;
    std::size_t drawn_ = 0; // length of the bar line on screen
    LWMonitor table_{};
    unsigned long long total_ = 0, done_ = 0;
    int shown_ = -1; // last percent drawn (bar) or printed (lines)
    bool active_ = false;
};

} // namespace devhost

#endif
