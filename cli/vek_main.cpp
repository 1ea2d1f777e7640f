// vek: everyday jobs on line files and file sets through the VekWin32
// exports: differences as edit scripts, applying them, bundles, checksums.
// This file parses the command line and hands it to the command named
// (commands/cmd_NAME.cpp).
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "commands/command.h"
#include "report/trouble.h"
#include "system/platform.h"
#include "vekwin32.h"

namespace {

using vekcli::Options;

using vekcli::Command;

const Command* const kCommands[] = {
    &vekcli::kDiffCommand,     &vekcli::kPatchCommand, &vekcli::kBundleCommand,
    &vekcli::kUnbundleCommand, &vekcli::kCrcCommand,   &vekcli::kTypeCommand,
};

[[noreturn]] void UsageError(const Command& command, const std::string& message) {
    vekcli::Fail(std::string(command.name) + ": " + message + "; see 'vek " + command.name +
                 " --help'");
}

bool Takes(const Command& command, char flag) {
    return std::strchr(command.flags, flag) != nullptr;
}

// Returns true when --help was asked for.
bool ParseOptions(const Command& command, int argc, char** argv, Options& options) {
    bool onlyOperands = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (onlyOperands || arg == "-" || arg.empty() || arg[0] != '-') {
            options.operands.push_back(arg);
        } else if (arg == "--") {
            onlyOperands = true;
        } else if (arg == "--help" || arg == "-h") {
            return true;
        } else if (arg == "--crlf" && command.crlf) {
            options.crlf = true;
        } else if (arg == "--lf" && command.lf) {
            options.lf = true;
        } else if (arg == "--windowed" && Takes(command, 'w')) {
            options.windowed = true;
        } else if (arg == "--edbuf" && Takes(command, 'e')) {
            options.edbuf = true;
        } else if ((arg == "-r" || arg == "--recursive") && Takes(command, 'r')) {
            options.recursive = true;
        } else if (arg == "--dry-run" && Takes(command, 'n')) {
            options.dryRun = true;
        } else if ((arg == "-t" || arg == "-b") && Takes(command, arg[1])) {
            const char type = arg == "-t" ? 'T' : 'B';
            if (options.type != 0 && options.type != type)
                UsageError(command, "give -t or -b, not both");
            options.type = type;
        } else if (arg == "--tenth" && Takes(command, 'x')) {
            if (options.hasTenth || i + 1 >= argc)
                UsageError(command, "--tenth needs one file name");
            options.tenth = argv[++i];
            options.hasTenth = true;
        } else if ((arg.rfind("-o", 0) == 0 || arg == "--output" ||
                    arg.rfind("--output=", 0) == 0) &&
                   Takes(command, 'o')) {
            if (options.hasOutput)
                UsageError(command, "-o given twice");
            if (arg.rfind("--output=", 0) == 0) {
                options.output = arg.substr(9);
            } else if (arg.size() > 2 && arg != "--output") {
                options.output = arg.substr(2);
            } else {
                if (i + 1 >= argc)
                    UsageError(command, "-o needs a file name");
                options.output = argv[++i];
            }
            if (options.output.empty())
                UsageError(command, "-o needs a file name");
            options.hasOutput = true;
        } else {
            UsageError(command, "unknown option '" + arg + "'");
        }
    }
    if (options.windowed && options.edbuf)
        UsageError(command,
                   "give --windowed or --edbuf, not both (--windowed scripts are always fit "
                   "for EdBuf)");
    return false;
}

int Main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(vekcli::kProgramHelp, stderr);
        return 2;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        if (name == "help" && argc > 2) {
            for (const Command* command : kCommands)
                if (argv[2] == std::string(command->name)) {
                    std::fputs(command->help, stdout);
                    return 0;
                }
        }
        std::fputs(vekcli::kProgramHelp, stdout);
        return 0;
    }
    if (name == "--version") {
        std::puts("vek " VEKWIN32_VERSION_STRING " (VekWin32 library)");
        return 0;
    }
    for (const Command* command : kCommands) {
        if (name != command->name)
            continue;
        Options options;
        if (ParseOptions(*command, argc - 2, argv + 2, options)) {
            std::fputs(command->help, stdout);
            return 0;
        }
        return command->run(options);
    }
    vekcli::Fail("unknown command '" + name + "'; see 'vek --help'");
}

}  // namespace

int main(int argc, char** argv) {
    // A closed standard stream is held by the null device, so that no file
    // vek opens becomes standard input or output.
    vekcli::platform::GuardStandardStreams();
    // Line files and reports go out byte for byte, LF stays LF.
    vekcli::platform::SetBinary(stdout);
    try {
        const int status = Main(argc, argv);
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            vekcli::Fail("standard output: write error; is the disk full?");
        return status;
    } catch (const vekcli::Trouble& trouble) {
        vekcli::ReportTrouble(trouble.message);
        return trouble.status;
    } catch (const std::bad_alloc&) {
        const std::string work = vekcli::CurrentWork();
        vekcli::ReportTrouble("memory ran out" + (work.empty() ? std::string() : " while " + work) +
                              "; free some memory or give smaller files; no file was changed");
        return 2;
    } catch (const std::exception& failure) {
        vekcli::ReportTrouble(failure.what());
        return 2;
    }
}
