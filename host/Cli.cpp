#include "host/Cli.h"

#include "host/Components.h"
#include "host/Demo.h"
#include "host/DirectRenderer.h"

#include <CLI/CLI.hpp>

#include <string>
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

// Subcommands that a later build provides: they take any arguments and refuse.
CLI::App* AddPending(CLI::App& app, const char* name, const char* description) {
    CLI::App* sub = app.add_subcommand(name, description);
    sub->allow_extras();
    return sub;
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

    bool demo = false;
    std::vector<std::string> renderArgs;
    CLI::App* render = app.add_subcommand(
        "render", "render --demo [OUTDIR]: the built-in riff at three drive settings "
                  "(default OUTDIR: out/demo)");
    render->add_flag("--demo", demo, "Render the built-in riff");
    render->add_option("paths", renderArgs, "OUTDIR with --demo");
    // render IN OUT takes options of its own in a later build; keep them from being parse errors.
    render->allow_extras();

    CLI::App* state = AddPending(app, "state", "Save or load the state as an .aupreset file");
    CLI::App* validate = AddPending(app, "validate", "Check the component against the host API");
    CLI::App* editor = AddPending(app, "editor", "Open the editor or write a snapshot of it");

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

    if ((list->parsed() || info->parsed()) && !ComponentsAvailable())
        return NotAvailable(err, list->parsed() ? "list" : "info");
    if (list->parsed()) return Finish(ListComponents(out), err);
    if (info->parsed()) return Finish(DescribeComponent(infoComponent, out), err);
    if (render->parsed()) {
        if (!demo) return NotAvailable(err, "render IN OUT");
        if (!render->remaining().empty())
            return Fail(err, "render --demo: unexpected argument '" + render->remaining()[0] + "'",
                        kExitUsage);
        if (renderArgs.size() > 1)
            return Fail(err, "render --demo takes at most one folder", kExitUsage);
        const std::string folder = renderArgs.empty() ? kDefaultDemoFolder : renderArgs[0];
        if (folder.empty()) return Fail(err, "render --demo: the folder name is empty", kExitUsage);
        const RendererFactory direct = [] { return std::make_unique<DirectRenderer>(); };
        return Finish(RunDemo(folder, direct, out), err);
    }
    if (state->parsed()) return NotAvailable(err, "state");
    if (validate->parsed()) return NotAvailable(err, "validate");
    if (editor->parsed()) return NotAvailable(err, "editor");
    return Fail(err, "no subcommand (try --help)", kExitUsage);
}
