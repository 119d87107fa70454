#include "router/PasswordSource.h"

namespace router {

namespace {

// The host's source, set and cleared by its PasswordSourceInstallation; global like the
// installed preferences, because the controller that asks is created by the host core.
PasswordSource* g_pInstalled = nullptr;

}  // namespace

PasswordSource* InstalledPasswordSource() { return g_pInstalled; }

void InstallPasswordSource(PasswordSource* i_pSource) { g_pInstalled = i_pSource; }

}  // namespace router
