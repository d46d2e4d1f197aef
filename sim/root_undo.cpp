#include "sim/root_undo.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char *kLockEntry = ".sim/lock";

struct Noted {
    fs::file_type kind = fs::file_type::none;
    uintmax_t size = 0;
    fs::file_time_type time{};
    fs::path target;  // a link's
};

struct Undo {
    bool on = false;
    fs::path root;
    std::map<std::string, Noted> before;        // by path relative to the root
    std::map<std::string, std::string> kept;    // bytes of files written since
};

Undo g_undo;

std::map<std::string, Noted> note_tree(const fs::path &root)
{
    std::map<std::string, Noted> out;
    std::error_code ec;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::string rel = it->path().lexically_relative(root).generic_string();
        if (rel == kLockEntry)
            continue;
        Noted n;
        n.kind = it->symlink_status(ec).type();
        if (n.kind == fs::file_type::regular) {
            n.size = it->file_size(ec);
            n.time = it->last_write_time(ec);
        } else if (n.kind == fs::file_type::symlink) {
            n.target = fs::read_symlink(it->path(), ec);
        }
        out.emplace(std::move(rel), std::move(n));
        ec.clear();
    }
    return out;
}

bool put_bytes(const fs::path &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out.flush());
}

// Puts back one entry noted at the start; false when it cannot.
bool put_back(const std::string &rel, const Noted &n)
{
    fs::path path = g_undo.root / rel;
    std::error_code ec;
    fs::file_type now = fs::symlink_status(path, ec).type();
    auto kept = g_undo.kept.find(rel);
    switch (n.kind) {
    case fs::file_type::directory:
        return now == fs::file_type::directory || fs::create_directory(path, ec);
    case fs::file_type::symlink:
        if (now == fs::file_type::symlink && fs::read_symlink(path, ec) == n.target)
            return true;
        fs::remove(path, ec);
        fs::create_symlink(n.target, path, ec);
        return !ec;
    case fs::file_type::regular:
        if (kept != g_undo.kept.end()) {
            if (!put_bytes(path, kept->second))
                return false;
            fs::last_write_time(path, n.time, ec);
            return true;
        }
        return now == fs::file_type::regular && fs::file_size(path, ec) == n.size &&
               fs::last_write_time(path, ec) == n.time;
    default:
        return now == n.kind;
    }
}

} // namespace

void sim_undo_begin(const std::string &root)
{
    g_undo = Undo{};
    // One spelling of the root for every path compared with it ("dir/",
    // "./dir" and "dir" alike).
    g_undo.root = fs::absolute(root).lexically_normal();
    if (!g_undo.root.has_filename())
        g_undo.root = g_undo.root.parent_path();
    g_undo.before = note_tree(g_undo.root);
    g_undo.on = true;
}

void sim_undo_keep(const std::string &canonical)
{
    if (!g_undo.on)
        return;
    std::string rel = fs::path(canonical).relative_path().lexically_normal().generic_string();
    auto noted = g_undo.before.find(rel);
    if (noted == g_undo.before.end() || noted->second.kind != fs::file_type::regular || g_undo.kept.count(rel))
        return;
    std::ifstream in(g_undo.root / rel, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    g_undo.kept.emplace(rel, ss.str());
}

bool sim_undo_restore(std::string &error)
{
    if (!g_undo.on)
        return true;
    // What the run created (or turned into something else) goes first, then
    // what it changed or removed comes back, parents before children.
    for (const auto &[rel, n] : note_tree(g_undo.root)) {
        auto was = g_undo.before.find(rel);
        if (was == g_undo.before.end() || was->second.kind != n.kind) {
            std::error_code ec;
            fs::remove_all(g_undo.root / rel, ec);
        }
    }
    std::vector<std::string> lost;
    for (const auto &[rel, n] : g_undo.before)
        if (!put_back(rel, n))
            lost.push_back(rel);
    g_undo = Undo{};
    if (lost.empty())
        return true;
    error = "could not put back";
    for (const std::string &rel : lost)
        error += " " + rel;
    return false;
}

void sim_undo_end() { g_undo = Undo{}; }
