// lmvxctl run as a program against lumivex-sim run as a program, both in a
// private runtime folder (XDG_RUNTIME_DIR) of the test. The simulator's log
// (--log) goes to a file; its state is read and changed over its control
// pipe.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "simulator.h"

namespace ctltest {

using Json = nlohmann::json;
using Args = std::vector<std::string>;

class CtlTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/lmvxctl-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_RUNTIME_DIR", dir_.c_str(), 1);
    }

    void TearDown() override {
        StopSim();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Starts the simulator with `options` and waits until it answers.
    void StartSim(const Args& options = {}) {
        Args argv = {LMVX_SIM_PATH, "--quiet", "--log"};
        argv.insert(argv.end(), options.begin(), options.end());
        sim_ = std::make_unique<Process>(argv, LogPath());
        ASSERT_TRUE(sim_->Started());
        for (int i = 0; i < 200; ++i) {
            std::string reply;
            if (sim::SendControl(sim::SessionPipeName(), "requests", &reply)) return;
            usleep(10000);
        }
        FAIL() << "lumivex-sim did not start: " << sim_->Wait(std::chrono::seconds(1)).err;
    }

    void StopSim() {
        if (!sim_) return;
        sim_->Signal(SIGTERM);
        const Result ended = sim_->Wait(std::chrono::seconds(5));
        EXPECT_EQ(ended.status, 0) << ended.err;
        sim_.reset();
    }

    // One control command; a failing one fails the test.
    std::string Control(const std::string& command) {
        std::string reply;
        EXPECT_TRUE(sim::SendControl(sim::SessionPipeName(), command, &reply)) << command;
        EXPECT_NE(reply.rfind("error", 0), 0u) << command << ": " << reply;
        return reply;
    }

    size_t Requests() { return std::stoul(Control("requests")); }

    Result Ctl(const Args& args) {
        Args argv = {LMVXCTL_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return ctltest::Run(argv);
    }

    Result SimCommand(const Args& args) {
        Args argv = {LMVX_SIM_PATH};
        argv.insert(argv.end(), args.begin(), args.end());
        return ctltest::Run(argv);
    }

    std::string LogPath() const { return dir_ + "/sim.log"; }
    std::string Log() const {
        std::ifstream file(LogPath());
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }

    std::unique_ptr<Process> sim_;
    std::string dir_;
};

inline std::string Joined(const Args& args) {
    std::string text;
    for (const std::string& arg : args) text += (text.empty() ? "" : " ") + arg;
    return text;
}

inline size_t Lines(const std::string& text) {
    size_t lines = 0;
    for (const char c : text) lines += c == '\n';
    return lines;
}

}  // namespace ctltest
