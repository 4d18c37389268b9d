#include "hostkit/utility/AtomicFile.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>

#include "hostkit/utility/Platform.h"

namespace hostkit {

namespace {

constexpr const char kPrefix[] = ".ravelcast-";
constexpr const char kSuffix[] = ".tmp";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
// Prefix, four fields of eight digits with a '-' between, suffix.
constexpr std::size_t kNameLength = kPrefixLength + 4 * 8 + 3 + sizeof kSuffix - 1;

std::uint32_t nameHash(const std::string &text)
{
    // FNV-1a: stable across builds and platforms, which the names must be
    // for one machine to recognise another build's leftovers.
    std::uint32_t h = 2166136261u;
    for (unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::string hex8(std::uint32_t v)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned int>(v));
    return text;
}

bool parseHex8(const std::string &text, std::size_t at, std::uint32_t *v)
{
    if (at + 8 > text.size())
        return false;
    std::uint32_t r = 0;
    for (std::size_t i = at; i < at + 8; ++i) {
        const char c = text[i];
        const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (d < 0)
            return false;
        r = r << 4 | static_cast<std::uint32_t>(d);
    }
    *v = r;
    return true;
}

std::uint32_t machineHash()
{
    return nameHash(PlatformFile::machineName());
}

// The fields of a temporary's name: final name, machine, process.
struct Fields {
    std::uint32_t name = 0, machine = 0, process = 0;
};

bool fieldsOf(const std::string &name, Fields *f)
{
    if (name.size() != kNameLength || name.compare(0, kPrefixLength, kPrefix) != 0 ||
        name.compare(kNameLength - (sizeof kSuffix - 1), std::string::npos, kSuffix) != 0)
        return false;
    std::uint32_t serial = 0;
    const std::size_t at = kPrefixLength;
    return parseHex8(name, at, &f->name) && name[at + 8] == '-' &&
           parseHex8(name, at + 9, &f->machine) && name[at + 17] == '-' &&
           parseHex8(name, at + 18, &f->process) && name[at + 26] == '-' &&
           parseHex8(name, at + 27, &serial);
}

// Why a file of this kind is never replaced; null when it may be.
const char *refusalFor(PlatformFile::Kind kind)
{
    switch (kind) {
    case PlatformFile::Kind::Folder: return "It is a folder, not a file.";
    case PlatformFile::Kind::ReadOnly: return "The file is read-only; it is kept as it is.";
    default: return nullptr;
    }
}

std::size_t lastSeparator(const std::string &path)
{
    return path.find_last_of("\\/");
}

std::string leafOf(const std::string &path)
{
    const std::size_t cut = lastSeparator(path);
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

} // namespace

AtomicFile::~AtomicFile()
{
    abandon();
}

bool AtomicFile::isTemporaryName(const std::string &name)
{
    Fields f;
    return fieldsOf(name, &f);
}

bool AtomicFile::isTemporaryOf(const std::string &name, const std::string &finalName)
{
    Fields f;
    return fieldsOf(name, &f) && f.name == nameHash(leafOf(finalName));
}

bool AtomicFile::fail(PlatformFile::ErrorCode code, const char *step)
{
    cause_ = PlatformFile::errorText(code);
    if (step)
        cause_ = std::string(step) + ": " + cause_;
    refused_ = false;
    return false;
}

bool AtomicFile::refuse(const char *what)
{
    cause_ = what;
    refused_ = true;
    return false;
}

bool AtomicFile::open(const std::string &finalName)
{
    abandon();
    finalName_ = finalName;
    written_.clear();
    cause_.clear();
    refused_ = inPlace_ = released_ = false;

    PlatformFile::ErrorCode error = 0;
    const PlatformFile::Kind kind = PlatformFile::kindOf(finalName, &error);
    if (const char *why = refusalFor(kind))
        return refuse(why);
    switch (kind) {
    case PlatformFile::Kind::Unknown:
        return fail(error, nullptr);
    case PlatformFile::Kind::Other:
        // A device or a pipe cannot be replaced: it is written as it is.
        if (!file_.createForWriting(finalName))
            return fail(file_.error(), nullptr);
        inPlace_ = true;
        written_ = finalName;
        return true;
    default: // missing, or a file that may be replaced
        break;
    }

    const std::size_t cut = lastSeparator(finalName);
    // A file at the root keeps the root as its folder.
    folder_ = cut == std::string::npos ? std::string() : finalName.substr(0, cut == 0 ? 1 : cut);
    const std::string leaf = leafOf(finalName);
    removeLeftovers(folder_, leaf);

    const std::string start = std::string(kPrefix) + hex8(nameHash(leaf)) + "-" +
                              hex8(machineHash()) + "-" +
                              hex8(static_cast<std::uint32_t>(PlatformFile::currentProcess())) + "-";
    const std::string place = cut == std::string::npos ? std::string() : finalName.substr(0, cut + 1);
    std::random_device random;
    for (int attempt = 0;; ++attempt) {
        const std::string candidate = place + start + hex8(random()) + kSuffix;
        if (file_.createNew(candidate)) {
            written_ = candidate;
            break;
        }
        // Only a name already taken is worth another serial.
        const PlatformFile::ErrorCode code = file_.error();
        PlatformFile::ErrorCode ignored = 0;
        if (PlatformFile::kindOf(candidate, &ignored) == PlatformFile::Kind::Missing || attempt == 16)
            return fail(code, nullptr);
    }
    // Held while this process lives, so that no other writer takes the
    // temporary for a leftover; a file system without locks leaves the
    // process check alone to tell.
    file_.tryLock();
    return true;
}

void AtomicFile::release()
{
    if (file_.isOpen() && !inPlace_) {
        file_.close();
        released_ = true;
    }
}

bool AtomicFile::commit()
{
    if (inPlace_) {
        // Devices and pipes have nothing to flush or replace.
        const bool closed = !file_.isOpen() || file_.close();
        inPlace_ = false;
        written_.clear();
        return closed ? true : fail(file_.error(), nullptr);
    }
    if (written_.empty()) {
        cause_ = "nothing was written";
        return false;
    }
    auto failed = [this](PlatformFile::ErrorCode code, const char *step) {
        fail(code, step);
        abandon();
        return false;
    };
    if (released_ && !file_.openForWriting(written_))
        return failed(file_.error(), "Cannot reopen what was written");
    released_ = false;
    if (!file_.flushToStorage())
        return failed(file_.error(), "Cannot flush the file to the disk");
    if (!file_.close())
        return failed(file_.error(), "Cannot close the file");

    // Made a folder or read-only while this was written: still kept.
    PlatformFile::ErrorCode error = 0;
    if (const char *why = refusalFor(PlatformFile::kindOf(finalName_, &error))) {
        refuse(why);
        abandon();
        return false;
    }
    if (!PlatformFile::replaceFile(written_, finalName_, &error))
        return failed(error, "Cannot put the file in place");
    written_.clear();
    // The file is whole and in place; a folder that cannot be synced
    // leaves the rename as durable as the file system makes it.
    PlatformFile::syncFolder(folder_);
    return true;
}

void AtomicFile::abandon() noexcept
{
    file_.close();
    if (!written_.empty() && !inPlace_)
        PlatformFile::removeFile(written_);
    written_.clear();
    inPlace_ = released_ = false;
}

void AtomicFile::removeLeftovers(const std::string &folder, const std::string &leaf) const
{
    namespace fs = std::filesystem;
    const std::uint32_t name = nameHash(leaf), machine = machineHash();
    const std::uint32_t self = static_cast<std::uint32_t>(PlatformFile::currentProcess());
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : filePath(folder), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string entry = utf8Text(it->path().filename());
        Fields f;
        if (!fieldsOf(entry, &f) || f.name != name || f.machine != machine)
            continue;
        // A writer of this process, or one that still runs, is at work.
        if (f.process == self || PlatformFile::processRuns(f.process))
            continue;
        const std::string path = folder.empty()                 ? entry
                                 : isPathSeparator(folder.back()) ? folder + entry
                                                                  : folder + kPathSeparator + entry;
        PlatformFile held;
        // Another system's process of the same number (a container, a
        // machine of the same name) holds its file open and locked.
        if (!held.openForWriting(path) || !held.tryLock())
            continue;
        held.close();
        PlatformFile::removeFile(path);
    }
}

} // namespace hostkit
