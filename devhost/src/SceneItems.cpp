#include "devhost/SceneItems.h"

#include <set>

namespace devhost {

namespace {

// Bank about z, then pitch about x, then heading about y.
V3 rotate(V3 v, double heading, double pitch, double bank)
{
    const double cb = std::cos(bank), sb = std::sin(bank);
    v = {v.x * cb - v.y * sb, v.x * sb + v.y * cb, v.z};
    const double cp = std::cos(pitch), sp = std::sin(pitch);
    v = {v.x, v.y * cp - v.z * sp, v.y * sp + v.z * cp};
    const double ch = std::cos(heading), sh = std::sin(heading);
    return {v.x * ch + v.z * sh, v.y, -v.x * sh + v.z * ch};
}

} // namespace

Placement Placement::of(V3 position, double heading, double pitch, double bank)
{
    Placement p;
    p.position = position;
    p.right = rotate({1, 0, 0}, heading, pitch, bank);
    p.up = rotate({0, 1, 0}, heading, pitch, bank);
    p.forward = rotate({0, 0, 1}, heading, pitch, bank);
    return p;
}

Placement Placement::within(const Placement &outer) const
{
    Placement p;
    p.position = outer.toOuter(position);
    p.right = outer.direction(right);
    p.up = outer.direction(up);
    p.forward = outer.direction(forward);
    return p;
}

const char *shapeName(Shape shape)
{
    switch (shape) {
    case Shape::Sphere: return "sphere";
    case Shape::Box: return "box";
    case Shape::Plane: return "plane";
    case Shape::Null: break;
    }
    return "null";
}

bool parseShape(const std::string &text, Shape *shape)
{
    for (Shape s : {Shape::Sphere, Shape::Box, Shape::Plane, Shape::Null})
        if (text == shapeName(s)) {
            *shape = s;
            return true;
        }
    return false;
}

std::vector<SceneObject> builtInObjects()
{
    auto object = [](const char *name, Shape shape, V3 position, double size, const char *surface,
                     Motion motion) {
        SceneObject o;
        o.name = name;
        o.shape = shape;
        o.position = position;
        o.size = size;
        o.surface = surface;
        o.motion = motion;
        return o;
    };
    std::vector<SceneObject> v;
    v.push_back(object("Floor", Shape::Plane, {0, 0, 0}, 6.4, "Floor", Motion::None));
    v.push_back(object("RedBall", Shape::Sphere, {-1.35, 0.65, -0.25}, 1.3, "Red", Motion::Bounce));
    v.push_back(object("ChromeBall", Shape::Sphere, {1.35, 0.55, 0.9}, 1.1, "Chrome", Motion::Circle));
    v.push_back(object("GlassBall", Shape::Sphere, {0.45, 0.42, -1.45}, 0.84, "Glass", Motion::None));
    SceneObject box = object("Box", Shape::Box, {-0.35, 0.36, 1.85}, 1.1, "BoxSides", Motion::Turn);
    box.proportions = {1.0, 0.72 / 1.1, 0.72 / 1.1};
    box.topSurface = "BoxTop";
    v.push_back(box);
    return v;
}

std::vector<SurfaceMaterial> builtInSurfaces()
{
    auto surface = [](const char *name, V3 colour, double diffuse, double specular, double gloss,
                      double mirror, double transparency, double luminous, double special) {
        SurfaceMaterial m;
        m.name = name;
        m.colour = colour;
        m.diffuse = diffuse;
        m.specular = specular;
        m.gloss = gloss;
        m.mirror = mirror;
        m.transparency = transparency;
        m.luminous = luminous;
        m.special = special;
        return m;
    };
    std::vector<SurfaceMaterial> v;
    // The floor's checker in the host's world: the tile at the origin's
    // far corner is dark.
    SurfaceMaterial floor = surface("Floor", {0.32, 0.34, 0.38}, 0.9, 0.15, 20, 0.12, 0, 0, 0.0);
    floor.checker = true;
    floor.checkerColour = {0.82, 0.80, 0.74};
    v.push_back(floor);
    v.push_back(surface("Red", {0.85, 0.18, 0.12}, 0.8, 0.5, 60, 0.05, 0, 0, 0.25));
    v.push_back(surface("Chrome", {0.90, 0.90, 0.92}, 0.25, 0.9, 120, 0.7, 0, 0, 0.5));
    v.push_back(surface("Glass", {0.85, 0.95, 0.90}, 0.1, 0.8, 150, 0.08, 0.85, 0, 0.75));
    v.push_back(surface("BoxSides", {0.20, 0.45, 0.85}, 0.85, 0.25, 30, 0, 0, 0, 1.0));
    v.push_back(surface("BoxTop", {0.95, 0.75, 0.20}, 0.85, 0.25, 30, 0, 0, 0.35, 1.0));
    v.push_back(surface("Default", {0.7, 0.7, 0.7}, 0.8, 0.2, 20, 0, 0, 0, 0));
    return v;
}

V3 defaultCameraPosition() { return {0, 1.7, -6.5}; }
V3 defaultCameraRotation() { return {0, std::atan2(1.1, 6.5) * 180.0 / kPi, 0}; }

int SceneItems::objectIndex(const std::string &name) const
{
    for (std::size_t i = 0; i < objects.size(); ++i)
        if (objects[i].name == name)
            return static_cast<int>(i);
    return -1;
}

int SceneItems::surfaceIndex(const std::string &name) const
{
    for (std::size_t i = 0; i < surfaces.size(); ++i)
        if (surfaces[i].name == name)
            return static_cast<int>(i);
    return -1;
}

V3 SceneItems::localPosition(std::size_t i, double frame) const
{
    const SceneObject &o = objects[i];
    V3 p = o.position;
    if (o.motion == Motion::Bounce)
        p.y += 0.45 * std::fabs(std::sin(0.35 * frame));
    if (o.motion == Motion::Circle) {
        p.x += 0.35 * (std::cos(0.21 * frame) - 1);
        p.z -= 0.35 * std::sin(0.21 * frame);
    }
    return p;
}

V3 SceneItems::localRotation(std::size_t i, double frame) const
{
    const SceneObject &o = objects[i];
    V3 r{radians(o.rotation.x), radians(o.rotation.y), radians(o.rotation.z)};
    if (o.motion == Motion::Turn)
        r.x -= 0.4 + 0.06 * frame;
    return r;
}

Placement SceneItems::localPlacement(std::size_t i, double frame) const
{
    const V3 r = localRotation(i, frame);
    return Placement::of(localPosition(i, frame), r.x, r.y, r.z);
}

Placement SceneItems::inWorld(const Placement &local, const std::string &parent, double frame) const
{
    Placement p = local;
    // Bounded by the object count: problem() refuses cycles, but a scene
    // changed after that check must not hang the renderer.
    std::string holder = parent;
    for (std::size_t steps = 0; !holder.empty() && steps <= objects.size(); ++steps) {
        const int i = objectIndex(holder);
        if (i < 0)
            break;
        p = p.within(localPlacement(static_cast<std::size_t>(i), frame));
        holder = objects[static_cast<std::size_t>(i)].parent;
    }
    return p;
}

Placement SceneItems::worldPlacement(std::size_t i, double frame) const
{
    return inWorld(localPlacement(i, frame), objects[i].parent, frame);
}

std::string SceneItems::problem() const
{
    std::set<std::string> names;
    for (const SceneObject &o : objects) {
        if (!names.insert(o.name).second)
            return "two objects are named \"" + o.name + "\"";
        if (o.shape != Shape::Null && surfaceIndex(o.surface) < 0)
            return "the object \"" + o.name + "\" names the surface \"" + o.surface +
                   "\", which no Surface block defines";
        if (o.shape == Shape::Box && !o.topSurface.empty() && surfaceIndex(o.topSurface) < 0)
            return "the object \"" + o.name + "\" names the surface \"" + o.topSurface + "\"";
        if (!o.parent.empty() && objectIndex(o.parent) < 0)
            return "the object \"" + o.name + "\" names the parent \"" + o.parent +
                   "\", which is no object of the scene";
    }
    for (const SceneObject &o : objects) {
        std::string holder = o.parent;
        for (std::size_t steps = 0; !holder.empty(); ++steps) {
            if (holder == o.name || steps > objects.size())
                return "the object \"" + o.name + "\" is its own parent, through its parents";
            holder = objects[static_cast<std::size_t>(objectIndex(holder))].parent;
        }
    }
    std::set<std::string> surfaceNames;
    for (const SurfaceMaterial &m : surfaces)
        if (!surfaceNames.insert(m.name).second)
            return "two surfaces are named \"" + m.name + "\"";
    return {};
}

} // namespace devhost
