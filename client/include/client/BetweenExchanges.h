#pragma once

// A host's chance to serve others while the client talks to a router. A poll is many
// exchanges, each bounded by the client's time-out; a host whose one thread also answers a
// panel's calls would otherwise make them wait for the whole poll. The call runs before each
// command goes out, on the client's thread, so that a caller waits at most for the exchange in
// progress. It must not use the client, must not block, and must not throw.
//
// Process-wide, as the one thread's client is; null (the default) calls nothing.

namespace zastra {

using BetweenExchanges = void (*)(void* i_pContext);
void SetBetweenExchanges(BetweenExchanges i_call, void* i_pContext);

}  // namespace zastra
