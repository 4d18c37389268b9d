// "File Request 2": the host's file requester, answered from the names a
// script queues; without one the user cancels.
#include "devhost/Panels.h"
#include "devhost/CallbackBarrier.h"

#include <cstring>
#include <ostream>

namespace devhost {

namespace {

int fileRequestThunk(int, LWFileReqLocal *request) { return Panels::current().fileRequest(request); }

} // namespace

void Panels::offerFileRequester()
{
    host_.services().offer(LWFILEREQFUNC_GLOBAL, [] {
        return reinterpret_cast<void *>(guarded<fileRequestThunk>);
    });
}

int Panels::fileRequest(LWFileReqLocal *r)
{
    if (!r)
        return AFUNC_BADLOCAL;
    r->result = 0;
    std::optional<std::string> answer;
    if (!files_.empty()) {
        answer = files_.front();
        files_.pop_front();
    }
    if (out_)
        *out_ << "file requester \"" << (r->title ? r->title : "") << "\": "
              << (answer ? *answer : std::string("cancel")) << "\n";
    if (!answer)
        return AFUNC_OK; // the requester ran; the user cancelled
    const std::string &full = *answer;
    if (!r->fullName || r->bufLen <= 0 || full.size() >= static_cast<std::size_t>(r->bufLen))
        return AFUNC_OK;
    std::strcpy(r->fullName, full.c_str());
    const std::size_t slash = full.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? "" : full.substr(0, slash);
    const std::string base = slash == std::string::npos ? full : full.substr(slash + 1);
    if (r->path)
        std::strcpy(r->path, folder.c_str());
    if (r->baseName)
        std::strcpy(r->baseName, base.c_str());
    r->result = 1;
    return AFUNC_OK;
}

} // namespace devhost
