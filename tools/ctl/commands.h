// lmvxctl's commands. Each leaf command checks its parsed arguments first
// (Prepare, which calls nothing in the library and fails with exit status 2)
// and only then runs against the library.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "output.h"
#include "session.h"

namespace ctl {

enum class Need {
    kNothing,  // local, or the command manages its own session
    kService,  // the service must answer (no session)
    kSession,  // a running session
};

struct Prepared {
    Need need = Need::kSession;
    std::function<void(Output&)> run;
};

// The words a leaf command collects; Prepare reads them.
struct Words {
    std::vector<std::string> list;
    std::string a, b;
};

struct Leaf {
    CLI::App* app;
    std::function<Prepared()> prepare;
};

// Adds every command to `app`; `leaves` receives the leaf commands. The
// commands that start sessions read *session when they run.
void AddCommands(CLI::App& app, std::vector<Leaf>* leaves, const SessionOptions* session);

// A bad argument: exit status 2, nothing sent.
[[noreturn]] void BadArgument(const std::string& message);

}  // namespace ctl
