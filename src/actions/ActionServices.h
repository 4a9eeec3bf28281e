#pragma once

#include "platform/ComRegistrar.h"
#include "platform/CommandRunner.h"
#include "platform/FileReplacer.h"
#include "platform/MtsCatalog.h"
#include "platform/Registry.h"

namespace qsi::actions {

// The platform services that the installation actions use beside the
// Environment, passed in so that tests can wrap or replace any of them.
struct ActionServices {
  platform::CommandRunner& commands;
  platform::ComRegistrar& com;
  platform::MtsCatalog& mts;
  platform::FileReplacer& files;
};

#ifndef _WIN32
// The machine's own services, the component stand-ins kept in `registry`.
class NativeActionServices {
 public:
  explicit NativeActionServices(platform::Registry& registry) : com_(registry), mts_(registry) {}
  NativeActionServices(const NativeActionServices&) = delete;
  NativeActionServices& operator=(const NativeActionServices&) = delete;

  [[nodiscard]] ActionServices services() { return {commands_, com_, mts_, files_}; }

 private:
  platform::NativeCommandRunner commands_;
  platform::RegistryComRegistrar com_;
  platform::RegistryMtsCatalog mts_;
  platform::NativeFileReplacer files_;
};
#else
// The machine's own services: commands through CreateProcessA, the real
// component objects, files put in place by ReplaceFileA. The registry
// argument keeps one constructor for both platforms: nothing is kept there.
class NativeActionServices {
 public:
  explicit NativeActionServices(platform::Registry& /*registry*/) {}
  NativeActionServices(const NativeActionServices&) = delete;
  NativeActionServices& operator=(const NativeActionServices&) = delete;

  [[nodiscard]] ActionServices services() { return {commands_, com_, mts_, files_}; }

 private:
  platform::NativeCommandRunner commands_;
  platform::Win32ComRegistrar com_;
  platform::Win32MtsCatalog mts_;
  platform::NativeFileReplacer files_;
};
#endif

}  // namespace qsi::actions
