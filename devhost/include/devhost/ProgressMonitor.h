// The progress monitor the host hands to a filter's process: a progress bar
// redrawn in place on a terminal, plain "progress: N%" lines (at most one
// per 10%) otherwise, nothing when the host is quiet.
#ifndef DEVHOST_PROGRESSMONITOR_H
#define DEVHOST_PROGRESSMONITOR_H

#include <iosfwd>

#include <lwsdk/monitor.h>

namespace devhost {

class ProgressMonitor {
public:
    enum class Style { Silent, Lines, Bar };

    // Bar when standard output is a terminal, else Lines; Silent when quiet.
    static Style styleForStdout(bool quiet);

    ProgressMonitor(Style style, std::ostream *out);
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
    LWMonitor table_{};
    unsigned long long total_ = 0, done_ = 0;
    int shown_ = -1; // last percent drawn (bar) or printed (lines)
    bool active_ = false;
};

} // namespace devhost

#endif
