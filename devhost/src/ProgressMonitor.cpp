#include "devhost/ProgressMonitor.h"

#include <cstdio>
#include <ostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace devhost {

namespace {
constexpr int kBarWidth = 30;

bool stdoutIsTerminal()
{
#ifdef _WIN32
    return _isatty(_fileno(stdout)) != 0;
#else
    return isatty(fileno(stdout)) != 0;
#endif
}

void initThunk(void *data, unsigned int total) { static_cast<ProgressMonitor *>(data)->init(total); }
int stepThunk(void *data, unsigned int n) { return static_cast<ProgressMonitor *>(data)->step(n); }
void doneThunk(void *data) { static_cast<ProgressMonitor *>(data)->done(); }
} // namespace

ProgressMonitor::Style ProgressMonitor::styleForStdout(bool quiet)
{
    if (quiet)
        return Style::Silent;
    return stdoutIsTerminal() ? Style::Bar : Style::Lines;
}

ProgressMonitor::ProgressMonitor(Style style, std::ostream *out)
    : style_(out ? style : Style::Silent), out_(out)
{
    table_ = {this, initThunk, stepThunk, doneThunk};
}

int ProgressMonitor::percent() const
{
    if (total_ == 0)
        return 0;
    const unsigned long long d = done_ < total_ ? done_ : total_;
    return static_cast<int>(d * 100 / total_);
}

void ProgressMonitor::init(unsigned int total)
{
    if (active_ && style_ == Style::Bar)
        *out_ << "\n";
    total_ = total;
    done_ = 0;
    shown_ = -1;
    active_ = true;
    show();
}

int ProgressMonitor::step(unsigned int increment)
{
    if (!active_)
        return 0;
    done_ += increment;
    show();
    return 0;
}

void ProgressMonitor::done()
{
    if (!active_)
        return;
    show();
    if (style_ == Style::Bar)
        *out_ << "\n" << std::flush;
    active_ = false;
}

void ProgressMonitor::show()
{
    if (style_ == Style::Silent || total_ == 0)
        return;
    const int p = percent();
    if (style_ == Style::Lines) {
        // One line per 10% reached.
        const int tenth = p / 10 * 10;
        if (tenth <= shown_)
            return;
        shown_ = tenth;
        *out_ << "progress: " << tenth << "%\n" << std::flush;
        return;
    }
    if (p == shown_)
        return;
    shown_ = p;
    const int filled = p * kBarWidth / 100;
    std::string bar = "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
                      std::string(static_cast<std::size_t>(kBarWidth - filled), '-') + "] ";
    const std::string number = std::to_string(p);
    bar += std::string(3 - number.size(), ' ') + number + "%";
    *out_ << bar << std::flush;
}

} // namespace devhost
