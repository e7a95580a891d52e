// tidewell: the update wizard on real windows.
#include <cstdio>
#include <string_view>
#include <vector>

#include "tidewell/app/command_line.h"
#include "tidewell/app/tidewell_app.h"
#include "tidewell/resources/resources.h"
#include "tidewell/ui/wx/wx_platform.h"
#include "tidewell/version.h"

int main(int argc, char** argv) {
    using tidewell::ProgramCommand;
    // Answered before the toolkit starts: no display needed.
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    const ProgramCommand command = tidewell::parseProgramArguments(args);
    if (command.action != ProgramCommand::Action::run) {
        tidewell::useStartingConsole();
    }
    switch (command.action) {
        case ProgramCommand::Action::help:
            std::fputs(tidewell::programHelpText().c_str(), stdout);
            return 0;
        case ProgramCommand::Action::version:
            std::printf("tidewell %.*s\n", static_cast<int>(tidewell::kTidewellVersion.size()),
                        tidewell::kTidewellVersion.data());
            return 0;
        case ProgramCommand::Action::usageError:
            std::fprintf(stderr, "tidewell: %s\nTry 'tidewell --help' for more information.\n",
                         command.error.c_str());
            return tidewell::kProgramUsageError;
        case ProgramCommand::Action::run:
            break;
    }
    auto platform = tidewell::ui::makeWxPlatform(tidewell::res::tidewellResources());
    tidewell::CTidewellApp app(tidewell::AppEnvironment{
        .settings = tidewell::SettingsStore(),
        .serial = {},
        .pages = &tidewell::makeWizardPages,
    });
    return app.Run(*platform);
}
