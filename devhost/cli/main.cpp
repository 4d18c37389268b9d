// devhost: the development host program.

#include <cstdio>
#include <fstream>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "devhost/tools/ContactSheet.h"
#include "devhost/tools/Convert.h"
#include "devhost/tools/ExrSummary.h"
#include "devhost/Host.h"
#include "devhost/Module.h"
#include "devhost/RenderJob.h"
#include "devhost/SceneFile.h"
#include "devhost/tools/UiScript.h"

namespace {

using devhost::Host;

// What the command line said: the options every command shares, and each
// command's own arguments and options.
struct Options {
    std::string program;
    std::string module;
    std::string mode;
    bool yes = false, no = false, quiet = false;
    std::vector<std::string> args;  // positional arguments of the command
    std::string save;               // generic --save
    std::string frames, content, dump; // render
    std::string saver, pixelType, compression; // convert
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Command {
    const char *name;
    const char *usage;
    const char *help;
    // Declares the command's own positional arguments and options.
    std::function<void(CLI::App &, Options &)> declare;
    std::function<int(Options &)> run;
};

const std::vector<Command> &commands();

void printHelp(std::ostream &out)
{
    out << "usage: devhost [OPTIONS] COMMAND [ARGS...]\n\n"
           "The Ravelcast development host: loads the plug-in module and plays the\n"
           "LightWave host for it.\n\n"
           "Commands:\n";
    for (const Command &c : commands()) {
        out << "  " << c.usage << "\n";
        out << "      " << c.help << "\n";
    }
    out << "\nCommands of a ui script (one per line, # starts a comment, values with blanks "
           "in quotes):\n";
    for (const devhost::UiScript::Verb &v : devhost::UiScript::verbs()) {
        out << "  " << devhost::UiScript::usage(v) << "\n";
        out << "      " << v.help << "\n";
    }
    out << "\nOptions (before or after the command):\n"
           "  --module PATH       the module to load; default $RAVELCAST_MODULE, else\n"
#if defined(_WIN32)
           "                      ..\\lib\\ravelcast.p relative to the devhost program\n"
#else
           "                      ../lib/ravelcast.so relative to the devhost program\n"
#endif
           "  --mode MODE         run as layout, screamernet or modeler (overrides the scene)\n"
           "  --yes | --no        answer the module's questions with yes or no (default yes)\n"
           "  --quiet             print only errors\n"
           "  -h, --help          this text\n";
}

void prepare(Host &host, const Options &o)
{
    if (o.quiet)
        host.messages().setOutput(nullptr, nullptr, &std::cerr);
    if (o.yes || o.no)
        host.messages().setPolicy(o.no ? devhost::Messages::Answer::No : devhost::Messages::Answer::Yes);
    if (!o.mode.empty()) {
        devhost::RunMode mode = devhost::RunMode::Layout;
        if (!devhost::parseRunMode(o.mode, &mode))
            throw UsageError("unknown mode " + o.mode + " (layout, screamernet or modeler)");
        host.forceMode(mode);
    }
    const std::string path = o.module.empty() ? devhost::defaultModulePath(o.program) : o.module;
    host.loadModule(path);
}

void loadScene(Host &host, const std::string &path) { devhost::readSceneFile(host, path); }

int cmdServers(Options &o)
{
    Host host;
    prepare(host, o);
    for (const devhost::ServerEntry &s : host.module()->servers()) {
        std::printf("%-22s %-22s", s.className.c_str(), s.name.c_str());
        const char *sep = " ";
        for (const auto &[text, tag] : s.tags) {
            std::printf("%s0x%05X \"%s\"", sep, tag, text.c_str());
            sep = "; ";
        }
        std::printf("\n");
    }
    return 0;
}

int cmdDescribe(Options &o)
{
    Host host;
    prepare(host, o);
    loadScene(host, o.args[0]);
    for (const auto &s : host.scene().servers) {
        const std::string d = host.describe(*s);
        std::printf("%s %s%s%s\n", s->className.c_str(), s->name.c_str(), d.empty() ? "" : ": ",
                    d.c_str());
    }
    return 0;
}

int cmdGeneric(Options &o)
{
    Host host;
    prepare(host, o);
    loadScene(host, o.args[0]);
    const int result = host.runGeneric(o.args[1]);
    for (const std::string &c : host.commands())
        std::printf("command: %s\n", c.c_str());
    for (const Host::Edit &e : host.edits())
        std::printf("edited: %s %d (%s): interface result %d, %s\n", e.className.c_str(), e.index,
                    e.serverName.c_str(), e.result, e.panel ? "panel" : "no panel");
    if (!o.save.empty())
        devhost::writeSceneFile(host, o.save);
    return result == 0 ? 0 : 1;
}

int cmdRender(Options &o)
{
    devhost::RenderOptions options;
    if (!o.frames.empty()) {
        devhost::FrameRange range;
        if (!devhost::parseFrameRange(o.frames, &range))
            throw UsageError("--frames needs A-B or A (frame numbers, A <= B), not " + o.frames);
        options.frames = range;
    }
    options.dumpDirectory = o.dump;
    Host host;
    prepare(host, o);
    loadScene(host, o.args[0]);
    if (!o.content.empty()) {
        // Absolute: filters make the content folder current while they run.
        host.scene().host.contentDir = std::filesystem::absolute(o.content).lexically_normal().string();
        host.sceneChanged();
    }
    options.out = o.quiet ? nullptr : &std::cout;
    options.progress = devhost::ProgressMonitor::styleForStdout(o.quiet);
    devhost::RenderJob job(host, options);
    job.run();
    return 0;
}

int cmdConvert(Options &o)
{
    devhost::ConvertOptions options;
    options.saver = o.saver;
    if (!o.pixelType.empty()) {
        int v = 0;
        if (!devhost::parsePixelTypeName(o.pixelType, &v))
            throw UsageError("--pixel-type needs int32, half or float, not " + o.pixelType);
        options.pixelType = v;
    }
    if (!o.compression.empty()) {
        int v = 0;
        if (!devhost::parseCompressionName(o.compression, &v))
            throw UsageError("--compression needs none, rle, zips, zip, piz, pxr24, b44, b44a, dwaa or dwab, "
                             "not " + o.compression);
        options.compression = v;
    }
    options.input = o.args[0];
    options.output = o.args[1];
    options.out = o.quiet ? nullptr : &std::cout;
    Host host;
    prepare(host, o);
    devhost::convertImage(host, options);
    return 0;
}

int cmdUi(Options &o)
{
    Host host;
    prepare(host, o);
    loadScene(host, o.args[0]);
    const std::string &script = o.args[1];
    std::ifstream file;
    if (script != "-") {
        devhost::checkInputFile(script, "script");
        file.open(script);
        if (!file)
            throw devhost::InputError("script \"" + script + "\": cannot be read");
    }
    devhost::UiScript ui(host, script == "-" ? std::cin : file, script, std::cout, std::cerr);
    return ui.run();
}

int cmdSheet(Options &o)
{
    const devhost::ContactSheet sheet = devhost::writeContactSheet(o.args[0], o.args[1]);
    return devhost::reportContactSheet(sheet, o.args[1], o.quiet ? nullptr : &std::cout, std::cerr);
}

int cmdHeader(Options &o)
{
    devhost::printExrSummary(o.args[0], std::cout);
    return 0;
}

const std::vector<Command> &commands()
{
    static const std::vector<Command> list = {
        {"servers", "servers", "List the module's servers: class, name and tags in order.",
         [](CLI::App &, Options &) {},
         cmdServers},
        {"describe", "describe SCENE",
         "Load SCENE and print the description line of every applied server.",
         [](CLI::App &c, Options &o) { c.add_option("SCENE", o.args)->required()->expected(1); },
         cmdDescribe},
        {"generic", "generic SCENE SERVER [--save OUT]",
         "Load SCENE, run the layout-generic SERVER (such as Open_Ravelcast), print the host "
         "commands it sent and, with --save, write the scene to OUT.",
         [](CLI::App &c, Options &o) {
             c.add_option("SCENE-SERVER", o.args)->required()->expected(2);
             c.add_option("--save", o.save);
         },
         cmdGeneric},
        {"render", "render SCENE [--frames A-B] [--content DIR] [--dump-buffers DIR]",
         "Load SCENE and render its frames (or A to B): each applied image filter gets the "
         "buffers it asks for and processes the frame in scene order; the frame image is saved "
         "through the scene's ImageSaver as RGBPrefix + frame + extension. --content sets the "
         "content directory, --dump-buffers writes DIR/buffers.<frame>.exr with every rendered "
         "buffer as channel B<index>.",
         [](CLI::App &c, Options &o) {
             c.add_option("SCENE", o.args)->required()->expected(1);
             c.add_option("--frames", o.frames);
             c.add_option("--content", o.content);
             c.add_option("--dump-buffers", o.dump);
         },
         cmdRender},
        {"convert",
         "convert IN OUT [--saver NAME] [--pixel-type int32|half|float] [--compression NAME]",
         "Load IN through the host's loaders (its own PNG loader, then the module's, such as "
         "LW_OpenEXR), print each loader's result code and the metadata items the loader sent, "
         "and save the image as OUT through the saver NAME (default: by OUT's extension, .exr "
         "OpenEXR(.exr), .png PNG(.png)). --pixel-type and --compression (none, rle, zips, zip, "
         "piz, pxr24, b44, b44a, dwaa, dwab) set the shared OpenEXR saver settings first.",
         [](CLI::App &c, Options &o) {
             c.add_option("IN-OUT", o.args)->required()->expected(2);
             c.add_option("--saver", o.saver);
             c.add_option("--pixel-type", o.pixelType);
             c.add_option("--compression", o.compression);
         },
         cmdConvert},
        {"ui", "ui SCENE SCRIPT",
         "Load SCENE and drive the module's panels from SCRIPT (a file, or - for standard "
         "input), one script command per line (listed below). Exits 1 at the first step that "
         "fails.",
         [](CLI::App &c, Options &o) { c.add_option("SCENE-SCRIPT", o.args)->required()->expected(2); },
         cmdUi},
        {"header", "header FILE.exr",
         "Print a summary of FILE's headers: size, windows, compression, the channels grouped "
         "by layer with their types, and every other attribute once.",
         [](CLI::App &c, Options &o) { c.add_option("FILE", o.args)->required()->expected(1); },
         cmdHeader},
        {"sheet", "sheet FILE.exr OUT.png",
         "Draw every layer of FILE as a labelled tile on the contact sheet OUT: colour as "
         "sRGB, single channels as grey (unbounded ones stretched over their finite range), "
         "ids as distinct colours, motion and directions in colour.",
         [](CLI::App &c, Options &o) { c.add_option("FILE-OUT", o.args)->required()->expected(2); },
         cmdSheet},
    };
    return list;
}

} // namespace

int main(int argc, char **argv)
{
    Options o;
    o.program = argv[0];
    CLI::App app{"The Ravelcast development host"};
    // On Windows CLI11 would take "/tmp/out.png" for an option "/tmp".
    app.allow_windows_style_options(false);
    app.set_help_flag(); // the help lists the commands our own way
    bool help = false;
    app.add_flag("-h,--help", help);
    app.add_option("--module", o.module);
    app.add_option("--mode", o.mode);
    auto *yes = app.add_flag("--yes", o.yes);
    app.add_flag("--no", o.no)->excludes(yes);
    app.add_flag("--quiet", o.quiet);
    // The shared options may also follow the command.
    app.fallthrough();
    app.require_subcommand(0, 1);
    app.add_subcommand("help")->silent();
    for (const Command &c : commands())
        c.declare(*app.add_subcommand(c.name, c.help), o);

    try {
        try {
            app.parse(argc, argv);
        } catch (const CLI::ParseError &e) {
            throw UsageError(e.what());
        }
        if (help || app.got_subcommand("help")) {
            printHelp(std::cout);
            return 0;
        }
        for (const Command &c : commands())
            if (app.got_subcommand(c.name))
                return c.run(o);
        printHelp(std::cerr);
        return 2;
    } catch (const UsageError &e) {
        std::cerr << "devhost: " << e.what() << "\n(devhost --help lists the commands)\n";
        return 2;
    } catch (const devhost::InputError &e) {
        std::cerr << "devhost: " << e.what() << "\n";
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "devhost: " << e.what() << "\n";
        return 1;
    }
}
