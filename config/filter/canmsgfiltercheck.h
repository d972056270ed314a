#pragma once
// The checks of the filter's one-identifier dialog that need no widgets.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Edit kinds of the one-identifier dialog.
inline constexpr uint8_t kFilterMsgAdd = 0;
inline constexpr uint8_t kFilterMsgEdit = 1;

// The identifier a listed row's text stands for (hexadecimal, read as base-16 strtoul): the identifier
// the one-identifier dialog was opened with.
uint32_t FilterMsgIdFromText(std::string_view idText);

// The checks on OK after the identifier text was read as `id`, in order; the first failing message, or
// none when the dialog may close. `startId` is the identifier the dialog was opened with; `existing` the
// identifiers already listed.
std::optional<std::string> validateFilterMsg(uint8_t editKind, uint32_t id, int32_t startId,
                                             const std::vector<uint32_t>& existing);
