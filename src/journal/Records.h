#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "checksum/Checksum.h"

// The records of a run's journal, one type per kind, and their text form:
// a kind and its fields, separated by tabs, each field escaped so that the
// record is one line of printable text.
#include "platform/Registry.h"

namespace qsi::journal {

using checksum::Fingerprint;

// The run's first record: its folder, its date, the process that runs it
// (what a later start names when it finds the run killed) and its place
// among the site's runs (0: written before runs were numbered).
struct Begin {
  std::string run, date, process;
  std::uint64_t sequence = 0;
};
// The run made the folder.
struct Mkdir {
  std::string folder;
};
// The run replaced `path`; its old bytes are kept as `backup`, a plain name
// in the journal's files/; `source` is the package's file; `old` has no
// CRC-32C in a journal of an older run.
struct Replace {
  std::string path, backup;
  Fingerprint old;
  std::string source;
  // The hidden folder beside `path` that holds the backup when the journal's
  // file system cannot, and the old file's attributes (attributesText);
  // both empty in a journal of an older run.
  std::string keptBeside, attributes;
};
// The run made the file `path` from `source`.
struct Create {
  std::string path, source;
};
// What the run put at `path` (without a CRC-32C in a journal of an older run).
struct Placed {
  std::string path;
  Fingerprint fingerprint;
};
// The run wrote a registry value; `old` is what it held when `existed`.
struct RegistryValue {
  std::string key, name;
  bool existed = false;
  std::string old, now;
  // The old value's type and bytes when it was no text value.
  std::optional<platform::RegistryValue> oldRaw;
};
// The run made the registry key.
struct RegistryKey {
  std::string key;
};
// The run registered (or unregistered) a COM DLL, which was registered or
// not before (nothing: unknown).
struct Com {
  std::string dll;
  bool registering = false;
  std::optional<bool> wasRegistered;
};
// The run installed a DLL into (or removed it from) an MTS package, which
// held the DLLs `before`.
struct Mts {
  std::string package, dll;
  bool installing = false;
  std::vector<std::string> before;
};
struct ServicesStopped {};
struct ServicesStarted {};
// An SQL script ran on a database.
struct Script {
  std::string name, database;
};
// A statement sent to the Metabase.
struct Metabase {
  std::string statement;
};
// The run completed.
struct End {};
// The run was undone, on `date`.
struct Undone {
  std::string date;
};
// The administrator declined to undo the killed run, on `date`.
struct Kept {
  std::string date;
};

using Record =
    std::variant<Begin, Mkdir, Replace, Create, Placed, RegistryValue, RegistryKey, Com, Mts,
                 ServicesStopped, ServicesStarted, Script, Metabase, End, Undone, Kept>;

// Whether the record tells a change to the site (not the run's own state).
[[nodiscard]] bool isChange(const Record& record);

// The record's text: one line, without its line end, free of control
// characters.
[[nodiscard]] std::string encode(const Record& record);

// The record in `line`, or why it is refused: an unknown kind, a wrong
// number of fields, a number or flag that is none, a control character or
// an escape that the writer never makes, a path, key or name holding a
// control character. The text is outside input, as the journal lies where
// others may write.
struct Parsed {
  std::optional<Record> record;
  std::string refusal;  // when there is no record
};
[[nodiscard]] Parsed parse(std::string_view line);

}  // namespace qsi::journal
