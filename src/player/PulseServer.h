#pragma once

#include <chrono>
#include <optional>

namespace lh {

// Blocking questions to the PulseAudio server (or PipeWire's PulseAudio service) that this
// process would play through, each over a connection of its own that never starts a server.
// Each blocks for up to `timeout` when a server is there but slow to answer, and returns at
// once when there is none.
namespace PulseServer {

// Whether the server has a sink to play to; none when no server answers in time. SDL's
// PulseAudio driver must not be started on a server without one: it dereferences the missing
// default sink's name (SDL 2.26) and takes the process down.
std::optional<bool> hasSink(std::chrono::milliseconds timeout);

// How long a frame takes from being handed to the server to being heard, for this process's
// playing stream: what the stream holds plus its sink's own latency. None without a server, a
// stream of this process, or an answer in time.
std::optional<std::chrono::microseconds> streamLatency(std::chrono::milliseconds timeout);

} // namespace PulseServer
} // namespace lh
