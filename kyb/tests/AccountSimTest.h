#pragma once
// A test suite that shares one account-service simulator over HTTPS on loopback; each test starts with the
// default scenario and an empty request log.

#include <gtest/gtest.h>

#include <QJsonObject>

#include "platform/ExtraCertificates.h"
#include "tests/support/AccountServiceSim.h"
#include "tests/support/ScopedEnvironmentVariable.h"

namespace ktest {

// Makes the simulator's certificate authority trusted without starting a simulator.
inline bool trustSimulatorCa()
{
    ScopedEnv caFile("KESTRUNE_CA_FILE", AccountServiceSim::trustedCaFile().toLocal8Bit());
    return platform::installExtraCaCertificates();
}

class AccountSimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sim = new AccountServiceSim();
        ASSERT_TRUE(sim->isRunning());
        ASSERT_TRUE(platform::installExtraCaCertificates());
    }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        ASSERT_NE(sim, nullptr);
        sim->setScenario(QJsonObject());
        sim->clearLog();
    }

    inline static AccountServiceSim* sim = nullptr;
};

}  // namespace ktest
