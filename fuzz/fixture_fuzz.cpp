// Fixture lines on a saved DORN or KESP board: the first byte picks the
// board, the rest is the fixture text. Applying must never throw or abort;
// the board is then dropped unsaved, and the root must be byte for byte what
// it was (on an error that is the promise to the user; after good lines it
// shows the undo puts back whatever they wrote). "smbios-dump" reads a file
// of the machine, so inputs that name it are skipped.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>

#include "sim/fixture_file.h"
#include "sim/sim_board.h"

namespace {

namespace fs = std::filesystem;

// Everything under a root but the lock: path -> kind and bytes.
std::map<std::string, std::string> image(const std::string &root)
{
    std::map<std::string, std::string> out;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        std::string rel = it->path().lexically_relative(root).string();
        if (rel == ".sim/lock")
            continue;
        if (it->is_symlink()) {
            out[rel] = "link " + fs::read_symlink(it->path()).string();
        } else if (it->is_regular_file()) {
            std::stringstream ss;
            ss << std::ifstream(it->path(), std::ios::binary).rdbuf();
            out[rel] = "file " + ss.str();
        } else {
            out[rel] = "dir";
        }
    }
    return out;
}

// A saved board of each model, made once per process in `dir`, which goes
// when the process ends.
std::string dir;

struct Boards {
    std::string roots[2];
    Boards()
    {
        char tmpl[] = "/tmp/quorbix-fixture-fuzz-XXXXXX";
        if (mkdtemp(tmpl) == nullptr)
            std::abort();
        dir = tmpl;
        std::atexit([] { fs::remove_all(dir); });
        const char *models[2] = {"ZK17DORN", "ZK17KESP"};
        for (int i = 0; i < 2; i++) {
            roots[i] = dir + "/" + models[i];
            if (sim_board_open(roots[i], models[i]) != 0 || sim_board_close() != 0)
                std::abort();
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Boards boards;
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    if (text.find("smbios-dump") != std::string::npos)
        return 0;
    const std::string &root = boards.roots[data[0] & 1];
    const auto before = image(root);
    std::string error;
    if (sim_board_open(SimBoardStart{root, "", false}, error) != 0)
        std::abort();
    bool applied = sim_fixture_apply(text, "fuzz.fix", error);
    if (!applied && (error.empty() || !error.starts_with("fuzz.fix:")))
        std::abort();
    std::string undo;
    if (sim_board_abandon(undo) != 0 || image(root) != before)
        std::abort();
    return 0;
}
