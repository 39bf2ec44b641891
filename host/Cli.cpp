#include "host/Cli.h"

#include "host/Components.h"
#include "host/Demo.h"
#include "host/EditorCommand.h"
#include "host/RenderFile.h"
#include "host/StateCommand.h"
#include "host/Validate.h"
#include "host/WavFile.h"

#include <CLI/CLI.hpp>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* kProgram = "zerub-host";
constexpr const char* kDefaultDemoFolder = "out/demo";

int Fail(std::ostream& err, const std::string& message, int status = kExitFailure) {
    err << kProgram << ": " << message << '\n';
    return status;
}

int NotAvailable(std::ostream& err, const std::string& what) {
    return Fail(err, what + " is not available in this build", kExitUsage);
}

int Finish(const Status& status, std::ostream& err) {
    return status ? 0 : Fail(err, status.message());
}

} // namespace

int RunZerubHost(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    CLI::App app{"Loads the Zerub overdrive component and drives it as an Audio Unit host does.",
                 kProgram};
    app.require_subcommand(1);

    CLI::App* list = app.add_subcommand("list", "List the effect components on the search path");

    std::string infoComponent;
    CLI::App* info = app.add_subcommand(
        "info", "Show a component's channels, parameters, latency, tail and presets");
    info->add_option("--component", infoComponent, "A .component bundle (default: search path)");
    std::string infoQuality = "standard";
    info->add_option("--quality", infoQuality, "standard or hq: the setting to describe")
        ->check(CLI::IsMember({"standard", "hq"}));

    bool demo = false;
    std::vector<std::string> renderArgs;
    RenderFileOptions renderOptions;
    std::string renderQuality = "standard";
    std::string formats;
    for (const WavSampleFormat& f : WavSampleFormats())
        formats += std::string(formats.empty() ? "" : ", ") + f.name;
    CLI::App* render = app.add_subcommand(
        "render", "render IN OUT: an audio file through the component; render --demo [OUTDIR]: "
                  "the built-in riff at three drive settings (default OUTDIR: out/demo)");
    render->add_flag("--demo", demo, "Render the built-in riff");
    render->add_option("paths", renderArgs, "IN OUT, or OUTDIR with --demo");
    std::vector<CLI::Option*> fileOnly = {
        render
            ->add_option("--param", renderOptions.params,
                         "NAME=VALUE: a parameter by name (any case) or index, real value")
            ->type_name("NAME=VALUE"),
        render->add_option("--preset", renderOptions.preset,
                           "An .aupreset file restored before the parameters are set"),
        render->add_option("--block", renderOptions.blockFrames,
                           "Frames per render call, 1.." + std::to_string(kMaxRenderBlock) +
                               " (default 512)"),
        render->add_flag("--bypass", renderOptions.bypass, "Bypass the effect"),
        render
            ->add_option("--quality", renderQuality,
                         "standard, or hq: the circuit at up to 192 kHz, with latency")
            ->check(CLI::IsMember({"standard", "hq"})),
        render->add_option("--format", renderOptions.format,
                           "Output sample format: " + formats + " (default float)"),
    };
    render->add_option("--component", renderOptions.component,
                       "A .component bundle (default: search path)");

    std::string stateComponent, statePath;
    std::vector<std::string> stateParams;
    CLI::App* state = app.add_subcommand("state", "Save or load the state as an .aupreset file");
    state->require_subcommand(1);
    CLI::App* save = state->add_subcommand("save", "Write the state, with --param values set");
    save->add_option("file", statePath, "The .aupreset file")->required();
    save->add_option("--param", stateParams, "NAME=VALUE, as render takes it")
        ->type_name("NAME=VALUE");
    save->add_option("--component", stateComponent, "A .component bundle (default: search path)");
    CLI::App* load = state->add_subcommand("load", "Restore the state and print the parameters");
    load->add_option("file", statePath, "The .aupreset file")->required();
    load->add_option("--component", stateComponent, "A .component bundle (default: search path)");

    std::string validateComponent;
    CLI::App* validate =
        app.add_subcommand("validate", "Check the component against the host interface");
    validate->add_option("--component", validateComponent,
                         "A .component bundle (default: search path)");
    uint32_t validateSeed = 0;
    CLI::Option* seedOption = validate->add_option(
        "--seed", validateSeed, "Seed of the shuffled lifecycle rounds (default: a new one)");
    double validateSeconds = kDefaultGroupSeconds;
    validate->add_option("--time-limit", validateSeconds,
                         "Seconds a group of checks may run before it fails (default 60)");
    bool validateStrict = false;
    validate->add_flag("--strict", validateStrict,
                       "Fail on warnings too (what the API allows but a careful unit avoids)");
    std::vector<std::string> validateGroups;
    validate
        ->add_option("--group", validateGroups,
                     "Run only this group of checks (repeatable; for testing: the verdict covers "
                     "only the groups run)")
        ->type_name("NAME")
        ->check(CLI::IsMember(ValidationGroups()));
    EditorOptions editorOptions;
    CLI::App* editor = app.add_subcommand(
        "editor", "Open the editor in a window, printing the changes and gestures it announces");
    editor->add_option("--component", editorOptions.component,
                       "A .component bundle (default: search path)");
    editor->add_option("--param", editorOptions.params, "NAME=VALUE, as render takes it")
        ->type_name("NAME=VALUE");
    editor
        ->add_option("--snapshot", editorOptions.snapshot,
                     "Write what the editor's view draws to FILE.png and exit")
        ->type_name("FILE.png");
    editor
        ->add_option("--scale", editorOptions.scale,
                     "Draw the editor at this scale factor, 1 to 4 (2: twice the size, as sharp)")
        ->type_name("F")
        ->check(CLI::Range(1.0, 4.0));

    // CLI11 reports a mistyped subcommand as an unexpected argument; name it for what it is.
    if (argc > 1 && argv[1][0] != '-') {
        bool known = false;
        for (const CLI::App* sub : app.get_subcommands({}))
            known = known || sub->check_name(argv[1]);
        if (!known)
            return Fail(err, std::string("unknown subcommand '") + argv[1] + "' (try --help)",
                        kExitUsage);
    }

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        return Fail(err, std::string(e.what()) + " (try --help)", kExitUsage);
    }

    if (!ComponentsAvailable())
        for (const CLI::App* sub : {list, info, render, state, validate, editor})
            if (sub->parsed()) return NotAvailable(err, sub->get_name());
    if (list->parsed()) return Finish(ListComponents(out), err);
    if (info->parsed())
        return Finish(DescribeComponent(infoComponent, out, infoQuality == "hq"), err);
    if (render->parsed()) {
        if (!demo) {
            if (renderArgs.size() != 2)
                return Fail(err, "render takes IN OUT (or --demo [OUTDIR])", kExitUsage);
            renderOptions.hq = renderQuality == "hq";
            renderOptions.input = renderArgs[0];
            renderOptions.output = renderArgs[1];
            if (renderOptions.input.empty() || renderOptions.output.empty())
                return Fail(err, "render: a file name is empty", kExitUsage);
            RenderSummary summary;
            const Status rendered = RenderFile(renderOptions, STDERR_FILENO, &summary);
            for (const std::string& warning : summary.warnings)
                err << kProgram << ": warning: " << warning << '\n';
            if (rendered) out << SummaryLine(renderOptions, summary) << '\n';
            return Finish(rendered, err);
        }
        for (const CLI::Option* option : fileOnly)
            if (option->count() > 0)
                return Fail(err, "render --demo: " + option->get_name() + " does not apply",
                            kExitUsage);
        if (renderArgs.size() > 1)
            return Fail(err, "render --demo takes at most one folder", kExitUsage);
        const std::string folder = renderArgs.empty() ? kDefaultDemoFolder : renderArgs[0];
        if (folder.empty()) return Fail(err, "render --demo: the folder name is empty", kExitUsage);
        return Finish(RunDemo(folder, ComponentRenderers(renderOptions.component), out), err);
    }
    if (save->parsed()) return Finish(SaveState(stateComponent, statePath, stateParams, out), err);
    if (load->parsed()) return Finish(LoadState(stateComponent, statePath, out), err);
    if (validate->parsed()) {
        if (!(validateSeconds > 0.0 && validateSeconds <= 86400.0))
            return Fail(err, "validate --time-limit: give seconds above 0 and at most a day",
                        kExitUsage);
        return RunValidation(validateComponent,
                             seedOption->count() > 0 ? validateSeed : RandomSeed(), validateSeconds,
                             validateStrict, out, validateGroups);
    }
    if (editor->parsed()) {
        if (!EditorAvailable()) return NotAvailable(err, "editor");
        return Finish(RunEditor(editorOptions, out), err);
    }
    return Fail(err, "no subcommand (try --help)", kExitUsage);
}
