#include "hostkit/VParm.h"

#include <cmath>

namespace hostkit {

VParm::VParm(const std::string &channelName, LWChanGroupID group, const char *pluginName,
             double initial)
    : fallback_(initial)
{
    if (!funcs_.available() || !funcs_->create)
        return;
    id_ = funcs_->create(LWVP_FLOAT, 0);
    if (!id_)
        return;
    if (funcs_->setup)
        funcs_->setup(id_, channelName.c_str(), group, pluginName);
    set(initial);
}

VParm::~VParm()
{
    if (id_ && funcs_->destroy)
        funcs_->destroy(id_);
}

double VParm::value(LWTime time) const
{
    double v = fallback_;
    if (id_ && funcs_->getVal)
        funcs_->getVal(id_, time, &v);
    return v;
}

double VParm::panelValue() const { return value(TimeInfo().time()); }

void VParm::set(double value)
{
    fallback_ = value;
    if (id_ && funcs_->setVal)
        funcs_->setVal(id_, &value);
}

void VParm::copyFrom(const VParm &other)
{
    fallback_ = other.fallback_;
    if (id_ && other.id_ && funcs_->copy)
        funcs_->copy(id_, other.id_);
}

ErrorText VParm::load(LoadState &state)
{
    const double before = value(0.0);
    if (id_ && funcs_->load)
        if (LWError e = funcs_->load(id_, state.state()))
            return e;
    // A stored value that is not a number (a damaged file) has no use: the
    // value before it stays.
    if (std::isnan(value(0.0)))
        set(before);
    return {};
}

ErrorText VParm::save(SaveState &state)
{
    if (id_ && funcs_->save)
        if (LWError e = funcs_->save(id_, state.state()))
            return e;
    return {};
}

} // namespace hostkit
