// The items of the development host's scene: the objects the renderer
// draws, their surfaces, and where every item (cameras included) is in the
// host's world at a frame, through its parents.
//
// The world is the host's: x right, y up, z forward, a left-handed system.
// Rotations are heading (about y, +z turning towards +x), pitch (about x,
// +z turning down) and bank (about z, +x turning up), applied to an item
// bank first, then pitch, then heading, as the host does.
#ifndef DEVHOST_SCENEITEMS_H
#define DEVHOST_SCENEITEMS_H

#include <cmath>
#include <string>
#include <vector>

namespace devhost {

struct V3 {
    double x = 0, y = 0, z = 0;
};
inline V3 operator+(V3 a, V3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline V3 operator-(V3 a, V3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline V3 operator*(V3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline V3 operator*(V3 a, V3 b) { return {a.x * b.x, a.y * b.y, a.z * b.z}; }
inline double dot(V3 a, V3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline V3 cross(V3 a, V3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline V3 normalize(V3 a)
{
    const double l = std::sqrt(dot(a, a));
    return l > 0 ? a * (1.0 / l) : a;
}

// An item's place: its position and its unit axes, in the frame of
// whatever holds it (the world, once composed with every parent).
struct Placement {
    V3 position;
    V3 right{1, 0, 0}, up{0, 1, 0}, forward{0, 0, 1};

    // From a position and heading, pitch and bank in radians.
    static Placement of(V3 position, double heading, double pitch, double bank);
    V3 toOuter(V3 local) const { return position + direction(local); }
    V3 direction(V3 local) const { return right * local.x + up * local.y + forward * local.z; }
    V3 toLocal(V3 outer) const { return localDirection(outer - position); }
    V3 localDirection(V3 d) const { return {dot(d, right), dot(d, up), dot(d, forward)}; }
    // This placement, given relative to `outer`, in outer's frame.
    Placement within(const Placement &outer) const;
};

constexpr double kPi = 3.14159265358979323846;
inline double radians(double degrees) { return degrees * (kPi / 180.0); }

enum class Shape { Sphere, Box, Plane, Null };
const char *shapeName(Shape shape);
bool parseShape(const std::string &text, Shape *shape);

// How a built-in object moves with the frame; placed objects stand still.
enum class Motion { None, Bounce, Circle, Turn };

struct SceneObject {
    std::string name;
    Shape shape = Shape::Null;
    V3 position;
    V3 rotation; // heading, pitch, bank in degrees
    // The extent: a sphere's diameter, a box's edge, a plane's side.
    double size = 1.0;
    std::string surface = "Default";
    std::string parent; // empty: placed in the world
    // The built-in objects' own: a box's edges relative to the size, the
    // surface of a box's top face, and their movement.
    V3 proportions{1, 1, 1};
    std::string topSurface;
    Motion motion = Motion::None;
};

// What the renderer shades a surface with.
struct SurfaceMaterial {
    std::string name;
    V3 colour{0.7, 0.7, 0.7};
    double diffuse = 0.8, specular = 0.2, gloss = 20, mirror = 0, transparency = 0;
    double luminous = 0, special = 0;
    // Checker tiles of a second colour, a tile's side long, in the item's
    // own x-z plane.
    bool checker = false;
    V3 checkerColour;
    double tile = 0.8;
    bool fromScene = false; // named by the scene (written back with it)
};

// The default scene: the floor plate "Floor", the balls "RedBall",
// "ChromeBall" and "GlassBall" and the box "Box", moving with the frame.
std::vector<SceneObject> builtInObjects();
// Their surfaces "Floor", "Red", "Chrome", "Glass", "BoxSides", "BoxTop",
// and "Default" for objects that name none.
std::vector<SurfaceMaterial> builtInSurfaces();

// The default camera's position and heading, pitch and bank in degrees:
// before the floor plate, looking down at its middle.
V3 defaultCameraPosition();
V3 defaultCameraRotation();

struct SceneItems {
    std::vector<SceneObject> objects = builtInObjects();
    std::vector<SurfaceMaterial> surfaces = builtInSurfaces();
    bool placed = false; // the objects come from the scene

    // Index of an object or surface by name; -1 when there is none.
    int objectIndex(const std::string &name) const;
    int surfaceIndex(const std::string &name) const;
    // Object i's own position and heading, pitch and bank in radians
    // (relative to its parent), its own placement and its world placement
    // at a frame.
    V3 localPosition(std::size_t i, double frame) const;
    V3 localRotation(std::size_t i, double frame) const;
    Placement localPlacement(std::size_t i, double frame) const;
    Placement worldPlacement(std::size_t i, double frame) const;
    // A placement given relative to the object named parent (none: the
    // world) in the world at a frame.
    Placement inWorld(const Placement &local, const std::string &parent, double frame) const;
    // The problem with the items, or empty: unknown surfaces or parents,
    // parent cycles, names used twice.
    std::string problem() const;
};

} // namespace devhost

#endif
