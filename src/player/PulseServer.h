#pragma once

#include <chrono>
#include <optional>

namespace lh {

// A blocking question to the PulseAudio server (or PipeWire's PulseAudio service) that this
// process would play through, over a connection of its own that never starts a server, asked
// before SDL's driver meets it. It blocks for up to `timeout` when a server is there but slow
// to answer, and returns at once when there is none.
namespace PulseServer {

// Whether the server has a sink to play to; none when no server answers in time. SDL's
// PulseAudio driver must not be started on a server without one: it dereferences the missing
// default sink's name (SDL 2.26) and takes the process down.
std::optional<bool> hasSink(std::chrono::milliseconds timeout);

} // namespace PulseServer
} // namespace lh
