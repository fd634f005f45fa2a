// p3dtool: reads model files (.p3d, binarized or editable) outside the viewer.
//   p3dtool info [--json] FILE   the information panel of every LOD
//   p3dtool log FILE             the reader's debug log
//   p3dtool mlod [-r] IN OUT     conversion to the editable format
//   p3dtool texture IN OUT       texture files to PNG pictures and back,
//                                --info on a texture file's layout
//   p3dtool export [-r] IN OUT   glTF, COLLADA, OBJ, STL, PLY
//   p3dtool check TREE           every model of a tree and its textures
// The subcommands are listed in kCommands; each one parses its own options.
#include <array>
#include <span>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <cstdio>
#endif

#include "Subcommands.h"

namespace p3dtool {
namespace {

constexpr std::array<const TSubcommand*, 7> kCommands{
    &kInfoCommand, &kLogCommand, &kMlodCommand, &kTextureCommand, &kExportCommand, &kCheckCommand, &kImportCommand,
};

const TSubcommand* FindCommand(std::string_view name) {
    for (const TSubcommand* command : kCommands)
        if (command->Name == name) return command;
    return nullptr;
}

std::string Usage() {
    std::string text =
        "usage: p3dtool COMMAND [OPTIONS] FILE\n"
        "       p3dtool --help | -h\n"
        "       p3dtool COMMAND --help | p3dtool help COMMAND\n"
        "\n"
        "Reads model files (.p3d, binarized \"BMDL\" or editable \"MLOD\") as the\n"
        "viewer does, converts them to the editable format, and exports them to\n"
        "glTF, OBJ and the other formats of the Assimp library, and imports those\n"
        "files back as editable models. Converts texture files (.paa, .pac) to\n"
        "PNG pictures and pictures to texture files.\n"
        "\n"
        "Commands:\n";
    for (const TSubcommand* command : kCommands) {
        std::string head = "  ";
        head += command->Name;
        head += ' ';
        head += command->Synopsis;
        if (head.size() < 24)
            head.resize(24, ' ');
        else
            head += "  ";
        text += head;
        text += command->Summary;
        text += '\n';
    }
    text +=
        "\n"
        "The reader's messages (what the viewer shows in message boxes, such as\n"
        "\"Incorrect Format!\") are written to standard error in every command.\n"
        "\n"
        "Exit status:\n"
        "  0  the model was read completely\n"
        "  1  the reader reported a failure: the model is partial or empty, or the\n"
        "     magic is unknown\n"
        "  2  the file could not be read at all (missing, or ending before the\n"
        "     model-wide data; the error's text goes to standard error), or the\n"
        "     arguments are wrong\n";
    return text;
}

std::string CommandHelp(const TSubcommand& command) {
    std::string text = "usage: p3dtool ";
    text += command.Name;
    text += ' ';
    text += command.Synopsis;
    text += "\n\n";
    text += command.Details;
    // a command that ends otherwise says so in its own text
    if (command.Details.find("Exit status") == std::string_view::npos)
        text +=
            "\nExit status: 0 read completely, 1 partial, empty or not a binarized\n"
            "model, 2 not readable at all or wrong arguments (p3dtool --help).\n";
    return text;
}

int Main(std::span<char* const> argv) {
    if (argv.size() < 2) {
        WriteErr(Usage());
        return kExitFailure;
    }
    const std::string_view name(argv[1]);
    if (name == "--help" || name == "-h" || name == "help") {
        if (name == "help" && argv.size() > 2) {
            if (const TSubcommand* command = FindCommand(argv[2])) {
                WriteOut(CommandHelp(*command));
                return FinishOut() ? kExitComplete : kExitFailure;
            }
        }
        WriteOut(Usage());
        return FinishOut() ? kExitComplete : kExitFailure;
    }
    const TSubcommand* command = FindCommand(name);
    if (!command) {
        ReportError("unknown command \"" + std::string(name) + "\"");
        WriteErr(Usage());
        return kExitFailure;
    }
    TArgs args;
    for (const char* arg : argv.subspan(2)) args.All.emplace_back(arg);
    if (args.WantsHelp()) {
        WriteOut(CommandHelp(*command));
        return FinishOut() ? kExitComplete : kExitFailure;
    }
    return command->Run(args);
}

}  // namespace
}  // namespace p3dtool

int main(int argc, char** argv) {
#ifdef _WIN32
    // bytes of names and UTF-8 JSON go out unchanged
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    return p3dtool::Main(std::span<char* const>(argv, static_cast<std::size_t>(argc)));
}
