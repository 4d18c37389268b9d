// devhost: the development host program.

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "devhost/ContactSheet.h"
#include "devhost/Convert.h"
#include "devhost/ExrSummary.h"
#include "devhost/Host.h"
#include "devhost/Module.h"
#include "devhost/RenderJob.h"
#include "devhost/SceneFile.h"

namespace {

using devhost::Host;

struct Options {
    std::string program;
    std::string module;
    bool modeSet = false;
    devhost::RunMode mode = devhost::RunMode::Layout;
    bool answerSet = false;
    devhost::Messages::Answer answer = devhost::Messages::Answer::Yes;
    bool quiet = false;
    std::vector<std::string> args; // the command's own arguments and options
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Command {
    const char *name;
    const char *usage;
    const char *help;
    std::function<int(Options &)> run;
};

std::vector<Command> &commands();

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
    out << "\nOptions (before or after the command):\n"
           "  --module PATH       the module to load; default $RAVELCAST_MODULE, else\n"
           "                      ../lib/ravelcast.so relative to the devhost program\n"
           "  --mode MODE         run as layout, screamernet or modeler (overrides the scene)\n"
           "  --yes | --no        answer the module's questions with yes or no (default yes)\n"
           "  --quiet             print only errors\n"
           "  -h, --help          this text\n";
}

// Takes the value of option name from args; empty when absent.
bool takeOption(std::vector<std::string> &args, const std::string &name, std::string *value)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != name)
            continue;
        if (i + 1 >= args.size())
            throw UsageError(name + " needs a value");
        *value = args[i + 1];
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        return true;
    }
    return false;
}

void noMoreOptions(const std::vector<std::string> &args)
{
    for (const std::string &a : args)
        if (a.size() > 1 && a[0] == '-')
            throw UsageError("unknown option " + a);
}

void prepare(Host &host, const Options &o)
{
    if (o.quiet)
        host.messages().setOutput(nullptr, nullptr, &std::cerr);
    if (o.answerSet)
        host.messages().setPolicy(o.answer);
    if (o.modeSet)
        host.forceMode(o.mode);
    const std::string path = o.module.empty() ? devhost::defaultModulePath(o.program) : o.module;
    host.loadModule(path);
}

void loadScene(Host &host, const std::string &path) { devhost::readSceneFile(host, path); }

int cmdServers(Options &o)
{
    noMoreOptions(o.args);
    if (!o.args.empty())
        throw UsageError("servers takes no arguments");
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
    noMoreOptions(o.args);
    if (o.args.size() != 1)
        throw UsageError("describe needs one scene");
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
    std::string save;
    takeOption(o.args, "--save", &save);
    noMoreOptions(o.args);
    if (o.args.size() != 2)
        throw UsageError("generic needs a scene and a server name");
    Host host;
    prepare(host, o);
    loadScene(host, o.args[0]);
    const int result = host.runGeneric(o.args[1]);
    for (const std::string &c : host.commands())
        std::printf("command: %s\n", c.c_str());
    for (const Host::Edit &e : host.edits())
        std::printf("edited: %s %d (%s): interface result %d, %s\n", e.className.c_str(), e.index,
                    e.serverName.c_str(), e.result, e.panel ? "panel" : "no panel");
    if (!save.empty())
        devhost::writeSceneFile(host, save);
    return result == 0 ? 0 : 1;
}

int cmdRender(Options &o)
{
    devhost::RenderOptions options;
    std::string frames, content;
    if (takeOption(o.args, "--frames", &frames)) {
        devhost::FrameRange range;
        if (!devhost::parseFrameRange(frames, &range))
            throw UsageError("--frames needs A-B or A (frame numbers, A <= B), not " + frames);
        options.frames = range;
    }
    takeOption(o.args, "--content", &content);
    takeOption(o.args, "--dump-buffers", &options.dumpDirectory);
    noMoreOptions(o.args);
    if (o.args.size() != 1)
        throw UsageError("render needs one scene");
    Host host;
    prepare(host, o);
    loadScene(host, o.args[0]);
    if (!content.empty()) {
        // Absolute: filters make the content folder current while they run.
        host.scene().host.contentDir = std::filesystem::absolute(content).lexically_normal().string();
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
    std::string pixelType, compression;
    takeOption(o.args, "--saver", &options.saver);
    if (takeOption(o.args, "--pixel-type", &pixelType)) {
        int v = 0;
        if (!devhost::parsePixelTypeName(pixelType, &v))
            throw UsageError("--pixel-type needs int32, half or float, not " + pixelType);
        options.pixelType = v;
    }
    if (takeOption(o.args, "--compression", &compression)) {
        int v = 0;
        if (!devhost::parseCompressionName(compression, &v))
            throw UsageError("--compression needs none, rle, zips, zip, piz, pxr24, b44 or b44a, "
                             "not " + compression);
        options.compression = v;
    }
    noMoreOptions(o.args);
    if (o.args.size() != 2)
        throw UsageError("convert needs an input and an output file");
    options.input = o.args[0];
    options.output = o.args[1];
    options.out = o.quiet ? nullptr : &std::cout;
    Host host;
    prepare(host, o);
    devhost::convertImage(host, options);
    return 0;
}

int cmdSheet(Options &o)
{
    noMoreOptions(o.args);
    if (o.args.size() != 2)
        throw UsageError("sheet needs an OpenEXR file and a PNG file");
    const devhost::ContactSheet sheet = devhost::writeContactSheet(o.args[0], o.args[1]);
    return devhost::reportContactSheet(sheet, o.args[1], o.quiet ? nullptr : &std::cout, std::cerr);
}

int cmdHeader(Options &o)
{
    noMoreOptions(o.args);
    if (o.args.size() != 1)
        throw UsageError("header needs one OpenEXR file");
    devhost::printExrSummary(o.args[0], std::cout);
    return 0;
}

std::vector<Command> &commands()
{
    static std::vector<Command> list = {
        {"servers", "servers", "List the module's servers: class, name and tags in order.",
         cmdServers},
        {"describe", "describe SCENE",
         "Load SCENE and print the description line of every applied server.", cmdDescribe},
        {"generic", "generic SCENE SERVER [--save OUT]",
         "Load SCENE, run the layout-generic SERVER (such as Open_Ravelcast), print the host "
         "commands it sent and, with --save, write the scene to OUT.",
         cmdGeneric},
        {"render", "render SCENE [--frames A-B] [--content DIR] [--dump-buffers DIR]",
         "Load SCENE and render its frames (or A to B): each applied image filter gets the "
         "buffers it asks for and processes the frame in scene order; the frame image is saved "
         "through the scene's ImageSaver as RGBPrefix + frame + extension. --content sets the "
         "content directory, --dump-buffers writes DIR/buffers.<frame>.exr with every rendered "
         "buffer as channel B<index>.",
         cmdRender},
        {"convert",
         "convert IN OUT [--saver NAME] [--pixel-type int32|half|float] [--compression NAME]",
         "Load IN through the host's loaders (its own PNG loader, then the module's, such as "
         "LW_OpenEXR), print each loader's result code and the metadata items the loader sent, "
         "and save the image as OUT through the saver NAME (default: by OUT's extension, .exr "
         "OpenEXR(.exr), .png PNG(.png)). --pixel-type and --compression (none, rle, zips, zip, "
         "piz, pxr24, b44, b44a) set the shared OpenEXR saver settings first.",
         cmdConvert},
        {"header", "header FILE.exr",
         "Print a summary of FILE's headers: size, windows, compression, the channels grouped "
         "by layer with their types, and every other attribute once.",
         cmdHeader},
        {"sheet", "sheet FILE.exr OUT.png",
         "Draw every layer of FILE as a labelled tile on the contact sheet OUT: colour as "
         "sRGB, single channels as grey (unbounded ones stretched over their finite range), "
         "ids as distinct colours, motion and directions in colour.",
         cmdSheet},
    };
    return list;
}

Options parse(int argc, char **argv, std::string *command)
{
    Options o;
    o.program = argv[0];
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw UsageError(a + " needs a value");
            return argv[++i];
        };
        if (a == "--module")
            o.module = value();
        else if (a == "--mode") {
            const std::string m = value();
            if (!devhost::parseRunMode(m, &o.mode))
                throw UsageError("unknown mode " + m + " (layout, screamernet or modeler)");
            o.modeSet = true;
        } else if (a == "--yes" || a == "--no") {
            o.answerSet = true;
            o.answer = a == "--yes" ? devhost::Messages::Answer::Yes : devhost::Messages::Answer::No;
        } else if (a == "--quiet")
            o.quiet = true;
        else if (a == "-h" || a == "--help" || a == "help")
            *command = "help";
        else if (command->empty())
            *command = a;
        else
            o.args.push_back(a);
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    std::string command;
    try {
        Options o = parse(argc, argv, &command);
        if (command == "help") {
            printHelp(std::cout);
            return 0;
        }
        if (command.empty()) {
            printHelp(std::cerr);
            return 2;
        }
        for (Command &c : commands())
            if (command == c.name)
                return c.run(o);
        throw UsageError("unknown command " + command);
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
