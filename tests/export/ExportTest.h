// The filter made directly from the module's static library, inside a
// development host that serves as the global function.
#ifndef RAVELCAST_TESTS_EXPORT_EXPORTTEST_H
#define RAVELCAST_TESTS_EXPORT_EXPORTTEST_H

#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "export/OpenEXRFilter.h"
#include "hostkit/HostInfo.h"
#include "hostkit/Services.h"

class ExportTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        hostkit::setGlobalFunction(&devhost::Host::global);
        useHost(10, 0, 2009);
    }
    void TearDown() override
    {
        filters_.clear();
        hostkit::releaseProcessMessages();
        hostkit::setGlobalFunction(nullptr);
        HostTest::TearDown();
    }

    void useHost(int major, int minor, int build,
                 devhost::RunMode mode = devhost::RunMode::Layout)
    {
        devhost::HostSettings &h = host().scene().host;
        h.major = major;
        h.minor = minor;
        h.build = build;
        h.mode = mode;
        host().sceneChanged();
        hostkit::setHostWords(host().systemId(), host().productInfo());
    }

    ravelcast::OpenEXRFilter &makeFilter()
    {
        std::string error;
        int flags = 0;
        filters_.push_back(std::make_unique<ravelcast::OpenEXRFilter>(nullptr, &flags, error));
        EXPECT_EQ(error, "");
        return *filters_.back();
    }

    std::vector<std::unique_ptr<ravelcast::OpenEXRFilter>> filters_;
};

#endif
