#include "devhost/Envelopes.h"
#include "devhost/CallbackBarrier.h"

#include <algorithm>
#include <set>

#include "devhost/Host.h"

namespace devhost {

namespace {

// The root holds the top-level groups; ids are the objects' addresses.
st_LWChanGroup g_root;
std::set<LWVParmID> g_parameters;
int g_groups = 0;

st_LWChanGroup *parentOf(LWChanGroupID parent) { return parent ? parent : &g_root; }

void detach(st_LWChanGroup *group)
{
    for (auto &c : group->channels)
        if (c->parameter)
            c->parameter->channel = nullptr;
    for (auto &g : group->groups)
        detach(g.get());
}

int countGroups(const st_LWChanGroup *group)
{
    int n = 0;
    for (const auto &g : group->groups)
        n += 1 + countGroups(g.get());
    return n;
}

// ---- "Animation Envelopes"

LWEnvelopeID envCreate(LWChanGroupID, const char *name, int type)
{
    // Free-standing envelopes are not used by the module; they are owned by
    // the caller until destroyed.
    auto *e = new st_LWEnvelope;
    e->name = name ? name : "";
    e->type = type;
    return e;
}

void envDestroy(LWEnvelopeID env)
{
    for (LWVParmID p : g_parameters)
        if (p->envelope.get() == env)
            return; // owned by its parameter
    delete env;
}

LWChanGroupID createGroup(LWChanGroupID parent, const char *name)
{
    auto group = std::make_unique<st_LWChanGroup>();
    group->name = name ? name : "";
    st_LWChanGroup *p = parentOf(parent);
    group->parent = parent;
    p->groups.push_back(std::move(group));
    ++g_groups;
    return p->groups.back().get();
}

void destroyGroup(LWChanGroupID group)
{
    if (!group)
        return;
    st_LWChanGroup *p = parentOf(group->parent);
    auto it = std::find_if(p->groups.begin(), p->groups.end(),
                           [&](const auto &g) { return g.get() == group; });
    if (it == p->groups.end())
        return;
    detach(group);
    g_groups -= 1 + countGroups(group);
    p->groups.erase(it);
}

double envEvaluate(LWEnvelopeID env, LWTime time) { return env ? env->evaluate(time) : 0.0; }

LWEnvKeyframeID createKey(LWEnvelopeID env, LWTime time, double value)
{
    if (!env)
        return nullptr;
    auto at = std::lower_bound(env->keys.begin(), env->keys.end(), time,
                               [](const auto &k, double t) { return k.first < t; });
    if (at != env->keys.end() && at->first == time)
        at->second = value;
    else
        at = env->keys.insert(at, {time, value});
    return reinterpret_cast<LWEnvKeyframeID>(static_cast<std::uintptr_t>(at - env->keys.begin() + 1));
}

void destroyKey(LWEnvelopeID env, LWEnvKeyframeID key)
{
    const auto i = reinterpret_cast<std::uintptr_t>(key);
    if (env && i >= 1 && i <= env->keys.size())
        env->keys.erase(env->keys.begin() + static_cast<long>(i - 1));
}

LWEnvKeyframeID nextKey(LWEnvelopeID env, LWEnvKeyframeID key)
{
    const auto i = reinterpret_cast<std::uintptr_t>(key);
    if (!env || i >= env->keys.size())
        return nullptr;
    return reinterpret_cast<LWEnvKeyframeID>(i + 1);
}

int keyGet(LWEnvelopeID env, LWEnvKeyframeID key, LWTime *time, double *value)
{
    const auto i = reinterpret_cast<std::uintptr_t>(key);
    if (!env || i < 1 || i > env->keys.size())
        return 0;
    if (time)
        *time = env->keys[i - 1].first;
    if (value)
        *value = env->keys[i - 1].second;
    return 1;
}

// ---- "Channel Info 2"

LWChanGroupID nextGroup(LWChanGroupID parent, LWChanGroupID group)
{
    const st_LWChanGroup *p = parentOf(parent);
    if (!group)
        return p->groups.empty() ? nullptr : p->groups.front().get();
    for (std::size_t i = 0; i + 1 < p->groups.size(); ++i)
        if (p->groups[i].get() == group)
            return p->groups[i + 1].get();
    return nullptr;
}

LWChannelID nextChannel(LWChanGroupID parent, LWChannelID chan)
{
    const st_LWChanGroup *p = parentOf(parent);
    if (!chan)
        return p->channels.empty() ? nullptr : p->channels.front().get();
    for (std::size_t i = 0; i + 1 < p->channels.size(); ++i)
        if (p->channels[i].get() == chan)
            return p->channels[i + 1].get();
    return nullptr;
}

const char *groupName(LWChanGroupID g) { return g ? g->name.c_str() : nullptr; }
const char *channelName(LWChannelID c) { return c ? c->name.c_str() : nullptr; }
LWChanGroupID groupParent(LWChanGroupID g) { return g ? g->parent : nullptr; }
LWChanGroupID channelParent(LWChannelID c) { return c ? c->parent : nullptr; }
double channelEvaluate(LWChannelID c, LWTime t)
{
    if (!c)
        return 0.0;
    if (c->parameter && !(c->parameter->state & LWVPSF_ENV))
        return c->parameter->value;
    return c->envelope ? c->envelope->evaluate(t) : 0.0;
}
LWEnvelopeID channelEnvelope(LWChannelID c) { return c ? c->envelope : nullptr; }

// ---- "LWVParmFuncs 2"

LWVParmID vpCreate(int envType, int dataType)
{
    auto *p = new st_LWVParm;
    p->envType = envType;
    p->dataType = dataType;
    p->envelope = std::make_unique<st_LWEnvelope>();
    g_parameters.insert(p);
    return p;
}

void removeChannel(LWVParmID p)
{
    st_LWChannel *c = p->channel;
    if (!c)
        return;
    st_LWChanGroup *g = parentOf(c->parent);
    g->channels.erase(std::remove_if(g->channels.begin(), g->channels.end(),
                                     [&](const auto &ch) { return ch.get() == c; }),
                      g->channels.end());
    p->channel = nullptr;
}

void vpDestroy(LWVParmID p)
{
    if (!p || !g_parameters.count(p))
        return;
    removeChannel(p);
    g_parameters.erase(p);
    delete p;
}

void vpSetup(LWVParmID p, const char *channelName, LWChanGroupID group, const char *)
{
    if (!p)
        return;
    removeChannel(p);
    auto c = std::make_unique<st_LWChannel>();
    c->name = channelName ? channelName : "";
    c->parent = group;
    c->envelope = p->envelope.get();
    c->parameter = p;
    p->envelope->name = c->name;
    p->channel = c.get();
    parentOf(group)->channels.push_back(std::move(c));
}

LWError vpCopy(LWVParmID to, LWVParmID from)
{
    if (!to || !from)
        return "missing parameter";
    to->value = from->value;
    to->state = from->state;
    to->envelope->keys = from->envelope->keys;
    to->envelope->initial = from->envelope->initial;
    return nullptr;
}

const LWBlockIdent kParmLevel[] = {{LWID_('V', 'A', 'L', 'U'), "Value"},
                                   {LWID_('S', 'T', 'A', 'T'), "State"},
                                   {LWID_('E', 'N', 'V', 'L'), "Envelope"},
                                   {0, nullptr}};
const LWBlockIdent kEnvLevel[] = {{LWID_('K', 'E', 'Y', ' '), "Key"}, {0, nullptr}};

LWError vpLoad(LWVParmID p, const LWLoadState *s)
{
    if (!p || !s)
        return nullptr;
    while (unsigned int id = s->findBlk(s->readData, kParmLevel)) {
        if (id == kParmLevel[0].id) {
            float v = 0;
            if (s->readFP(s->readData, &v, 1) == 1)
                p->value = v;
        } else if (id == kParmLevel[1].id) {
            int state = 0;
            if (s->readI4(s->readData, &state, 1) == 1)
                p->state = state;
        } else if (id == kParmLevel[2].id) {
            p->envelope->keys.clear();
            while (unsigned int k = s->findBlk(s->readData, kEnvLevel)) {
                float tv[2] = {0, 0};
                if (k == kEnvLevel[0].id && s->readFP(s->readData, tv, 2) == 2)
                    createKey(p->envelope.get(), tv[0], tv[1]);
                s->endBlk(s->readData);
            }
        }
        s->endBlk(s->readData);
    }
    return nullptr;
}

LWError vpSave(LWVParmID p, const LWSaveState *s)
{
    if (!p || !s)
        return nullptr;
    const float v = static_cast<float>(p->value);
    s->beginBlk(s->writeData, &kParmLevel[0], 1);
    s->writeFP(s->writeData, &v, 1);
    s->endBlk(s->writeData);
    s->beginBlk(s->writeData, &kParmLevel[1], 1);
    s->writeI4(s->writeData, &p->state, 1);
    s->endBlk(s->writeData);
    if (!p->envelope->keys.empty()) {
        s->beginBlk(s->writeData, &kParmLevel[2], 0);
        for (const auto &[t, value] : p->envelope->keys) {
            const float tv[2] = {static_cast<float>(t), static_cast<float>(value)};
            s->beginBlk(s->writeData, &kEnvLevel[0], 1);
            s->writeFP(s->writeData, tv, 2);
            s->endBlk(s->writeData);
        }
        s->endBlk(s->writeData);
    }
    return nullptr;
}

int vpGetVal(LWVParmID p, LWTime t, double *value)
{
    if (!p || !value)
        return 0;
    *value = (p->state & LWVPSF_ENV) && !p->envelope->keys.empty() ? p->envelope->evaluate(t)
                                                                   : p->value;
    return 1;
}

int vpSetVal(LWVParmID p, const double *value)
{
    if (!p || !value)
        return 0;
    p->value = *value;
    p->envelope->initial = *value;
    return 1;
}

int vpGetState(LWVParmID p) { return p ? p->state : 0; }
void vpSetState(LWVParmID p, int state)
{
    if (p)
        p->state = state;
}
LWEnvelopeID vpGetEnv(LWVParmID p)
{
    if (!p)
        return nullptr;
    p->state |= LWVPSF_ENV;
    return p->envelope.get();
}

LWEnvelopeFuncs g_envelopeFuncs = {
    guarded<envCreate>,    guarded<envDestroy>,  guarded<createGroup>,
    guarded<destroyGroup>, guarded<envEvaluate>, guarded<createKey>,
    guarded<destroyKey>,   guarded<nextKey>,     guarded<keyGet>};
LWChannelInfo g_channelInfo = {guarded<nextGroup>,       guarded<nextChannel>,
                               guarded<groupName>,       guarded<channelName>,
                               guarded<groupParent>,     guarded<channelParent>,
                               guarded<channelEvaluate>, guarded<channelEnvelope>};
LWVParmFuncs g_vparmFuncs = {guarded<vpCreate>,   guarded<vpDestroy>, guarded<vpSetup>,
                             guarded<vpCopy>,     guarded<vpLoad>,    guarded<vpSave>,
                             guarded<vpGetVal>,   guarded<vpSetVal>,  guarded<vpGetState>,
                             guarded<vpSetState>, guarded<vpGetEnv>};

} // namespace

Envelopes::Envelopes(Host &host)
{
    host.services().offerTable(LWENVELOPEFUNCS_GLOBAL, &g_envelopeFuncs);
    host.services().offerTable(LWCHANNELINFO_GLOBAL, &g_channelInfo);
    host.services().offerTable(LWVPARMFUNCS_GLOBAL, &g_vparmFuncs);
}

Envelopes::~Envelopes()
{
    // Whatever the module left behind goes with the host.
    for (LWVParmID p : g_parameters)
        delete p;
    g_parameters.clear();
    detach(&g_root);
    g_root.groups.clear();
    g_root.channels.clear();
    g_groups = 0;
}

std::vector<std::string> Envelopes::childGroups(LWChanGroupID parent) const
{
    std::vector<std::string> names;
    for (const auto &g : parentOf(parent)->groups)
        names.push_back(g->name);
    return names;
}

LWChanGroupID Envelopes::findGroup(LWChanGroupID parent, const std::string &name) const
{
    for (const auto &g : parentOf(parent)->groups)
        if (g->name == name)
            return g.get();
    return nullptr;
}

std::vector<std::string> Envelopes::channels(LWChanGroupID group) const
{
    std::vector<std::string> names;
    for (const auto &c : parentOf(group)->channels)
        names.push_back(c->name);
    return names;
}

int Envelopes::liveGroups() const { return g_groups; }
int Envelopes::liveParameters() const { return static_cast<int>(g_parameters.size()); }

} // namespace devhost

double st_LWEnvelope::evaluate(double time) const
{
    if (keys.empty())
        return initial;
    if (time <= keys.front().first)
        return keys.front().second;
    if (time >= keys.back().first)
        return keys.back().second;
    auto hi = std::upper_bound(keys.begin(), keys.end(), time,
                               [](double t, const auto &k) { return t < k.first; });
    auto lo = hi - 1;
    const double f = (time - lo->first) / (hi->first - lo->first);
    return lo->second + f * (hi->second - lo->second);
}
