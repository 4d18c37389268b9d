#include "hostkit/Services.h"

#include <memory>

namespace hostkit {

namespace {
const char *text(const std::string &s) { return s.empty() ? nullptr : s.c_str(); }

std::unique_ptr<LWMessage> &processMessageHolder()
{
    // Released by the static destructor at module exit.
    static std::unique_ptr<LWMessage> holder;
    return holder;
}
} // namespace

void LWMessage::info(const std::string &line1, const std::string &line2) const
{
    if (available() && table()->info)
        table()->info(line1.c_str(), text(line2));
}

void LWMessage::error(const std::string &line1, const std::string &line2) const
{
    if (available() && table()->error)
        table()->error(line1.c_str(), text(line2));
}

void LWMessage::warning(const std::string &line1, const std::string &line2) const
{
    if (available() && table()->warning)
        table()->warning(line1.c_str(), text(line2));
}

int LWMessage::yesNo(const std::string &title, const std::string &line1,
                     const std::string &line2) const
{
    if (!available() || !table()->yesNo)
        return 0;
    return table()->yesNo(title.c_str(), line1.c_str(), text(line2));
}

int LWMessage::yesNoCancel(const std::string &title, const std::string &line1,
                           const std::string &line2) const
{
    if (!available() || !table()->yesNoCancel)
        return 0;
    return table()->yesNoCancel(title.c_str(), line1.c_str(), text(line2));
}

std::string ItemInfo::name(LWItemID item) const
{
    if (!item || !available() || !table()->name)
        return "(none)";
    const char *n = table()->name(item);
    return n ? n : "(none)";
}

LWItemID ItemInfo::parent(LWItemID item) const
{
    if (!item || !available() || !table()->parent)
        return nullptr;
    return table()->parent(item);
}

std::optional<ItemPlacement> ItemInfo::placement(LWItemID item, LWTime time) const
{
    if (!item || !available() || !table()->param)
        return std::nullopt;
    ItemPlacement p;
    const auto read = [&](int param, CameraPlacement::Vector &out) {
        LWDVector v{};
        table()->param(item, param, time, v);
        out = {v[0], v[1], v[2]};
    };
    read(LWIP_W_POSITION, p.position);
    read(LWIP_W_RIGHT, p.right);
    read(LWIP_W_UP, p.up);
    read(LWIP_W_FORWARD, p.forward);
    return p;
}

LWItemID ObjectInfo::byBufferId(int id) const
{
    return available() && table()->byBufferId ? table()->byBufferId(id) : nullptr;
}

std::optional<std::string> ObjectInfo::name(int bufferId) const
{
    const LWItemID item = byBufferId(bufferId);
    const ItemInfo items;
    if (!item || !items.available() || !items->name)
        return std::nullopt;
    const char *n = items->name(item);
    return n ? std::optional<std::string>(n) : std::nullopt;
}

std::optional<std::string> SurfaceFuncs::name(int bufferId) const
{
    if (!available() || !table()->byBufferId || !table()->name)
        return std::nullopt;
    const LWSurfaceID surface = table()->byBufferId(bufferId);
    const char *n = surface ? table()->name(surface) : nullptr;
    return n ? std::optional<std::string>(n) : std::nullopt;
}

std::string DirInfo::dir(const char *name) const
{
    if (!available() || !table()->dir)
        return {};
    const char *d = table()->dir(name);
    return d ? d : std::string();
}

void InstUpdate::update(const char *className, LWInstance instance) const
{
    if (available() && table()->update && className && instance)
        table()->update(className, instance);
}

int ImageUtil::saverCount() const
{
    return available() && table()->saverCount ? table()->saverCount() : 0;
}

std::string ImageUtil::saverName(int index) const
{
    if (!available() || !table()->saverName || index < 0 || index >= saverCount())
        return {};
    const char *n = table()->saverName(index);
    return n ? n : std::string();
}

std::string ImageUtil::saverExtension(int index) const
{
    if (!available() || !table()->saverExtension || index < 0 ||
        index >= saverCount())
        return {};
    const char *e = table()->saverExtension(index);
    return e ? e : std::string();
}

int ImageUtil::findSaver(const std::string &name) const
{
    const int n = saverCount();
    for (int i = 0; i < n; ++i)
        if (saverName(i) == name)
            return i;
    return -1;
}

const LWMessage &processMessages()
{
    makeProcessMessages();
    return *processMessageHolder();
}

void releaseProcessMessages() { processMessageHolder().reset(); }

void makeProcessMessages()
{
    auto &holder = processMessageHolder();
    if (!holder || !holder->available())
        holder = std::make_unique<LWMessage>();
}

RenderCamera renderCamera(double time)
{
    RenderCamera c;
    SceneInfo scene;
    if (!scene.available() || !scene->renderCamera)
        return c;
    const LWItemID camera = scene->renderCamera(time);
    c.name = ItemInfo().name(camera);
    CameraInfo cameras;
    if (camera && cameras.available() && cameras->flags) {
        const unsigned int flags = cameras->flags(camera);
        c.stereo = flags & LWCAMF_STEREO;
        c.rightEye = flags & LWCAMF_EYE_RIGHT;
        c.noLimitedRegion = flags & LWCAMF_NO_LIMITEDREGION;
    }
    return c;
}

bool limitedRegionOn()
{
    SceneInfo scene;
    return scene.available() && (scene->renderOpts & LWROPT_LIMITEDREGION);
}

std::string renderPath()
{
    SceneInfo scene;
    return scene.available() && scene->RGBPrefix ? scene->RGBPrefix : std::string();
}

std::optional<FrameSize> frameSize()
{
    SceneInfo scene;
    if (!scene.available())
        return std::nullopt;
    return FrameSize{scene->frameWidth, scene->frameHeight};
}

SceneNames sceneNames()
{
    SceneNames names;
    const ItemInfo items;
    if (items.available() && items->first && items->next && items->name) {
        const ObjectInfo objects;
        const auto *ids = objects.available() ? objects.table() : nullptr;
        const auto nameOf = [&](LWItemID item) {
            const char *n = items->name(item);
            return n ? std::string(n) : std::string();
        };
        // A parent chain longer than the scene's items is a loop: it stops.
        std::size_t count = 0;
        for (LWItemID o = items->first(LWI_OBJECT, nullptr); o; o = items->next(o))
            ++count;
        for (LWItemID o = items->first(LWI_OBJECT, nullptr); o; o = items->next(o)) {
            NamedItem n;
            n.bufferId = ids && ids->bufferId ? ids->bufferId(o) : 0;
            n.name = nameOf(o);
            LWItemID top = o;
            for (std::size_t up = 0; up < count; ++up) {
                const LWItemID p = items.parent(top);
                if (!p)
                    break;
                top = p;
            }
            n.topName = nameOf(top);
            names.objects.push_back(std::move(n));
        }
    }
    const SurfaceFuncs surfaces;
    if (const LWSurfaceFuncs *s = surfaces.available() ? surfaces.table() : nullptr;
        s && s->first && s->next && s->name)
        for (LWSurfaceID id = s->first(); id; id = s->next(id)) {
            NamedItem n;
            n.bufferId = s->bufferId ? s->bufferId(id) : 0;
            const char *text = s->name(id);
            n.name = text ? text : "";
            n.topName = n.name;
            names.surfaces.push_back(std::move(n));
        }
    return names;
}

} // namespace hostkit
