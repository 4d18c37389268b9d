#include <filesystem>
#include <system_error>

#include "devhost/Host.h"

namespace devhost {

std::string inputFileProblem(const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (path.empty() || st.type() == fs::file_type::not_found)
        return "file not found";
    if (ec)
        return ec.message();
    switch (st.type()) {
    case fs::file_type::regular: return {};
    case fs::file_type::directory: return "it is a folder, not a file";
    case fs::file_type::fifo: return "it is a named pipe, not a regular file";
    case fs::file_type::socket: return "it is a socket, not a regular file";
    case fs::file_type::block:
    case fs::file_type::character: return "it is a device, not a regular file";
    default: return "it is not a regular file";
    }
}

void checkInputFile(const std::string &path, const std::string &what)
{
    const std::string problem = inputFileProblem(path);
    if (!problem.empty())
        throw InputError("Cannot read " + what + " \"" + path + "\": " + problem);
}

} // namespace devhost
