// Fixture lines on a fresh board: the first byte picks the board (DORN,
// KESP, or the default board with its SAS disks sda to sdd on sg0 to sg3),
// the rest is the fixture text, applied to a copy of a fresh root made for
// each input. Applying must never throw or abort. A refused fixture drops
// the board unsaved, and the root must be byte for byte what it was (the
// promise to the user; after good lines it shows the undo puts back
// whatever they wrote). An accepted fixture is saved with the board, and
// the next run must load that board: a refusal then fails as a crash does.
// "smbios-dump" reads a file of the machine, so inputs that name it are
// skipped.
#include <cstdint>
#include <cstdio>
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

[[noreturn]] void fail(const char *what, const std::string &error)
{
    std::fprintf(stderr, "fixture fuzz: %s: %s\n", what, error.c_str());
    std::abort();
}

// A fresh root of each board, made once per process in `dir` (which goes
// when the process ends) with its image, and the root each input works on.
std::string dir;

struct Boards {
    static constexpr int kCount = 3;
    std::string fresh[kCount];
    std::map<std::string, std::string> images[kCount];
    std::string work;
    Boards()
    {
        char tmpl[] = "/tmp/quorbix-fixture-fuzz-XXXXXX";
        if (mkdtemp(tmpl) == nullptr)
            std::abort();
        dir = tmpl;
        std::atexit([] { fs::remove_all(dir); });
        const char *models[kCount] = {"ZK17DORN", "ZK17KESP", ""};
        for (int i = 0; i < kCount; i++) {
            fresh[i] = dir + "/fresh" + std::to_string(i);
            std::string error;
            if (sim_board_open(SimBoardStart{fresh[i], models[i], false}, error) != 0)
                fail("a fresh board", error);
            if (sim_board_close() != 0)
                std::abort();
            images[i] = image(fresh[i]);
        }
        work = dir + "/work";
    }
    // The work root, a copy of fresh root `i`.
    const std::string &copy(int i)
    {
        fs::remove_all(work);
        fs::copy(fresh[i], work, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
        return work;
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
    const int board = data[0] % Boards::kCount;
    const std::string &root = boards.copy(board);
    std::string error;
    if (sim_board_open(SimBoardStart{root, "", false}, error) != 0)
        fail("the copy of a fresh board", error);
    if (!sim_fixture_apply(text, "fuzz.fix", error)) {
        if (error.empty() || !error.starts_with("fuzz.fix:"))
            fail("a refusal without its line", error);
        std::string undo;
        if (sim_board_abandon(undo) != 0)
            fail("the undo", undo);
        if (image(root) != boards.images[board])
            fail("the undo", "the root is not as it was");
        return 0;
    }
    if (sim_board_close() != 0)
        fail("the save", "see above");
    if (sim_board_open(SimBoardStart{root, "", false}, error) != 0)
        fail("the saved board does not load", error);
    std::string undo;
    if (sim_board_abandon(undo) != 0)
        fail("dropping the loaded board", undo);
    return 0;
}
