#include "devhost/ProgressMonitor.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>

#ifdef _WIN32
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <sys/ioctl.h>
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

// Standard output's width in columns; 80 when it cannot be told.
int stdoutColumns()
{
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize ws{};
    if (ioctl(fileno(stdout), TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0)
        return ws.ws_col;
#endif
    return 80;
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

ProgressMonitor::ProgressMonitor(Style style, std::ostream *out, std::string label,
                                 std::function<int()> columns)
    : style_(out ? style : Style::Silent), out_(out), label_(std::move(label)),
      columns_(columns ? std::move(columns) : std::function<int()>(stdoutColumns))
{
    table_ = {this, guarded<initThunk>, guarded<stepThunk>, guarded<doneThunk>};
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
    drawn_ = 0;
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
    drawn_ = 0;
    active_ = false;
}

std::string ProgressMonitor::barLine(const std::string &label, int percent, int columns)
{
    // The last column stays free: a line that fills it makes some terminals
    // wrap, and the next redraw would then start a line lower.
    const int room = columns - 1;
    std::string number = std::to_string(percent) + "%";
    number = std::string(number.size() < 4 ? 4 - number.size() : 0, ' ') + number;
    const int numberWidth = static_cast<int>(number.size());
    if (room < numberWidth)
        return room > 0 ? number.substr(number.size() - static_cast<std::size_t>(room)) : std::string();
    const int labelWidth = static_cast<int>(label.size());
    const int minBar = 10;
    // "<label> [<bar>] <number>"
    const int barRoom = room - numberWidth - 4 - (labelWidth > 0 ? labelWidth + 1 : 0);
    if (barRoom >= minBar) {
        const int width = std::min(kBarWidth, barRoom);
        const int filled = percent * width / 100;
        return (label.empty() ? std::string() : label + " ") + "[" +
               std::string(static_cast<std::size_t>(filled), '#') +
               std::string(static_cast<std::size_t>(width - filled), '-') + "] " + number;
    }
    // No room for a bar: the label, cut when needed, and the number.
    const int labelRoom = room - numberWidth - 1;
    if (labelWidth == 0 || labelRoom <= 0)
        return number;
    if (labelWidth <= labelRoom)
        return label + " " + number;
    if (labelRoom <= 3)
        return number;
    return label.substr(0, static_cast<std::size_t>(labelRoom - 3)) + "... " + number;
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
        *out_ << "progress: " << (label_.empty() ? std::string() : label_ + ": ") << tenth << "%\n"
              << std::flush;
        return;
    }
    if (p == shown_)
        return;
    shown_ = p;
    const int columns = columns_();
    std::string line = barLine(label_, p, columns);
    // Blank what a longer previous line left, within the width.
    const std::size_t limit = columns > 1 ? static_cast<std::size_t>(columns - 1) : 0;
    const std::size_t clear = std::min(drawn_, limit);
    if (line.size() < clear)
        line += std::string(clear - line.size(), ' ');
    drawn_ = line.size();
    *out_ << "\r" << line << std::flush;
}

} // namespace devhost
