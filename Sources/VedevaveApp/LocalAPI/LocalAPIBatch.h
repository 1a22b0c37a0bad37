// The batch endpoint: runs a list of phone steps in order on the main executor and answers once
// with the labels of what was done. Only validation failures stop a batch; a failed tap or key does
// not. A batch holds at most 256 steps and runs at most ten minutes.
#pragma once

#include "ControlKit/ControlClientInterface.h"
#include "VedevaveApp/Input/TouchMap.h"
#include "VedevaveApp/Workflows/WorkflowPlayer.h"

#include <asio/awaitable.hpp>
#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <utility>

namespace VedevaveApp::LocalAPIBatch {

inline constexpr size_t maximumSteps = 256;
inline constexpr std::chrono::minutes maximumDuration{10};

// (status, answer object). `body` is the parsed body object, `rawBody` the bytes as received.
asio::awaitable<std::pair<int, nlohmann::json>> runDo(nlohmann::json body, std::string rawBody,
                                                      ControlKit::ControlClientInterface& control,
                                                      TouchMap::Mode mode,
                                                      WorkflowPlayer& player = WorkflowPlayer::shared());

} // namespace VedevaveApp::LocalAPIBatch
