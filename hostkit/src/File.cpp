#include "hostkit/File.h"

namespace hostkit {

File::File(const std::string &path, Mode mode, int ioMode) : mode_(mode)
{
    if (!available())
        return;
    if (mode == Read && table()->openLoad) {
        load_ = table()->openLoad(path.c_str(), ioMode);
        if (load_)
            loadState_.emplace(load_);
    } else if (mode == Write && table()->openSave) {
        save_ = table()->openSave(path.c_str(), ioMode);
        if (save_)
            saveState_.emplace(save_);
    }
}

File::~File() { close(); }

void File::close()
{
    if (load_ && table()->closeLoad)
        table()->closeLoad(load_);
    if (save_ && table()->closeSave)
        table()->closeSave(save_);
    load_ = nullptr;
    save_ = nullptr;
    loadState_.reset();
    saveState_.reset();
}

} // namespace hostkit
