#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// Two kinds of path are never mixed: data paths are relative texts with "\"
// as separator on every platform (installation paths, package paths, names in
// Sequence.txt, Metabase objects); machine paths are std::filesystem paths.
namespace qsi::platform {

// A machine path for `dataPath` below `base`: each "\" becomes a separator.
[[nodiscard]] std::filesystem::path joinDataPath(const std::filesystem::path& base,
                                                 std::string_view dataPath);

// Why a name from outside (a package entry, a Sequence.txt line, a part of an
// installation path) cannot name a file inside a folder: it is empty, "." or
// "..", or holds "\", "/" or a control character (on Windows also ":", which
// names a drive or a stream). nullopt when it can.
[[nodiscard]] std::optional<std::string> nameProblem(std::string_view name);

// Why Windows cannot hold a name that another system may: it holds one of
// : * ? " < > |, is a device's (CON, NUL, AUX, PRN, COM1-COM9, LPT1-LPT9, with
// any extension, in any letter case), or ends in a dot or a blank. Packages
// are built on one system and installed on the other, so a package entry
// must be a name both hold. nullopt when Windows holds it.
[[nodiscard]] std::optional<std::string> windowsNameProblem(std::string_view name);

// The machine path of `dataPath` below `base`, for data paths made from
// outside text; nullopt when a part of it is no plain name (nameProblem) or
// no name Windows holds, so that the result lies below `base` whatever the
// text holds.
[[nodiscard]] std::optional<std::filesystem::path> joinBelow(const std::filesystem::path& base,
                                                             std::string_view dataPath);

// Whether `path` lies below `base` once both are normalised (lexically: a
// folder's links are the administrator's own).
[[nodiscard]] bool liesBelow(const std::filesystem::path& base, const std::filesystem::path& path);

// The data path of a relative machine path ("Web/a/b.asp" -> "Web\a\b.asp").
[[nodiscard]] std::string toDataPath(const std::filesystem::path& relative);

// A machine path as shown to the administrator, with a trailing separator
// when `asFolder` is set ("/srv/inst/Solution/configuration files/").
[[nodiscard]] std::string displayPath(const std::filesystem::path& path, bool asFolder = false);

// The folder of the running program.
[[nodiscard]] std::filesystem::path installerFolder();

// The Windows folder: $WINDIR when set, else /var/lib/qsolutioninstaller/windows.
[[nodiscard]] std::filesystem::path windowsFolder();

#ifdef _WIN32
// The system folder (GetSystemDirectoryA), where the system's own commands are.
[[nodiscard]] std::filesystem::path systemFolder();
#endif

// The short (8.3) name of an existing file or folder; its own name where the
// file system has no short names.
[[nodiscard]] std::filesystem::path shortPath(const std::filesystem::path& path);

}  // namespace qsi::platform
