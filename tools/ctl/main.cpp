// lmvxctl: a host tool over the public interface of the library.
//
// Every argument is checked before the library is called: bad input exits
// with status 2 having sent nothing. Failures of the service side (no
// service, a value the monitor did not take) exit with status 1, each with
// one line on stderr.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "lmvx.h"
#include "output.h"
#include "session.h"
#include "text.h"

namespace {

// CLI11's messages may span lines; the tool's errors are one line each.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

int Error(int status, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "lmvxctl: %s\n", OneLine(message).c_str());
    return status;
}

// The message for a parse error, naming the command it belongs to; a
// missing or unknown command word is named as such.
std::string Explain(CLI::App& app, const std::vector<std::string>& arguments, const CLI::ParseError& error) {
    std::vector<CLI::App*> chain;
    for (CLI::App* at = &app;;) {
        const auto selected = at->get_subcommands();
        if (selected.empty()) break;
        at = selected.front();
        chain.push_back(at);
    }
    CLI::App* deepest = chain.empty() ? &app : chain.back();
    std::string path = "lmvxctl";
    for (const CLI::App* command : chain) path += " " + command->get_name();
    const std::string help = " (see " + path + " --help)";
    if (deepest->get_require_subcommand_min() > 0) {
        // The words that are not options: the command chain, then the word
        // that should have been a command.
        std::vector<std::string> words;
        for (size_t i = 1; i < arguments.size(); ++i) {
            const std::string& word = arguments[i];
            if (word == "--wait-ms" || word == "--timeout-ms") {
                ++i;
            } else if (word.empty() || word[0] != '-') {
                words.push_back(word);
            }
        }
        std::string commands;
        for (const CLI::App* sub : deepest->get_subcommands({}))
            commands += (commands.empty() ? "" : ", ") + sub->get_name();
        if (words.size() > chain.size())
            return "unknown command '" + words[chain.size()] + "' (commands: " + commands + ")" + help;
        return "missing command (commands: " + commands + ")" + help;
    }
    std::string message = error.what();
    if (!chain.empty()) message = path.substr(8) + ": " + message;
    return message + help;
}

uint32_t GlobalNumber(const char* option, const std::string& text) {
    const auto value = ctl::ParseU32(text);
    if (!value) ctl::BadArgument(std::string(option) + " '" + text + "' is not a number from 0 to 4294967295");
    return *value;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = ctl::CommandLineArguments(argc, argv);

    CLI::App app{
        "A host tool over the LMVX display-control library: reads and sets the monitor's\n"
        "picture controls, display modes and the service's features, and watches events.\n"
        "Exit status: 0 done, 1 not connected or a value refused, 2 bad arguments\n"
        "(nothing is sent then).",
        "lmvxctl"};
    app.require_subcommand(1);
    app.fallthrough();
    bool json = false;
    std::string waitMs = "0";
    std::string timeoutMs = "5000";
    app.add_flag("--json", json, "Print one JSON object (watch: one per event)");
    app.add_option("--wait-ms", waitMs, "Wait up to N ms for the service to answer (default 0)");
    app.add_option("--timeout-ms", timeoutMs, "Give up a session start after N ms (default 5000)");
    app.set_version_flag("--version", "lmvxctl " + std::to_string(LMVX_VERSION_MAJOR) + "." +
                                          std::to_string(LMVX_VERSION_MINOR) + "." + std::to_string(LMVX_VERSION_PATCH));

    ctl::SessionOptions session;
    std::vector<ctl::Leaf> leaves;
    ctl::AddCommands(app, &leaves, &session);

    // CLI11 takes the arguments without the program's name, last first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    if (!reversed.empty()) reversed.pop_back();
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return Error(ctl::kExitUsage, Explain(app, arguments, e));
    }

    ctl::Output out(json);
    try {
        session.waitMs = GlobalNumber("--wait-ms", waitMs);
        session.timeoutMs = GlobalNumber("--timeout-ms", timeoutMs);
        std::optional<ctl::Prepared> prepared;
        for (const ctl::Leaf& leaf : leaves)
            if (leaf.app->parsed()) prepared = leaf.prepare();
        if (!prepared) return Error(ctl::kExitUsage, "no command given (see lmvxctl --help)");

        // The arguments are all checked: from here on the library is used.
        std::unique_ptr<ctl::Session> running;
        if (prepared->need == ctl::Need::kService) ctl::RequireService(session);
        if (prepared->need == ctl::Need::kSession) running = std::make_unique<ctl::Session>(session);
        prepared->run(out);
        running.reset();
        out.Finish();
        return ctl::kExitOk;
    } catch (const ctl::Failure& failure) {
        return Error(failure.status, failure.message);
    } catch (const std::exception& e) {
        return Error(ctl::kExitFailed, e.what());
    }
}
