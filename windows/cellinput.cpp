#include "windows/cellinput.h"

#include <optional>
#include <string_view>

#include "platform/qt/prompt.h"
#include "windows/cellvalue.h"

namespace vex {

namespace {

template <class T>
bool take(QWidget* parent, const QString& text, T& value, std::optional<T> (*parse)(std::string_view),
          QString (*refusal)(const QString&)) {
    const std::optional<T> parsed = parse(text.toStdString());
    if (!parsed) {
        ShowMessage(parent, refusal(text));
        return false;
    }
    value = *parsed;
    return true;
}

}  // namespace

bool TakeU16Cell(QWidget* parent, const QString& text, uint16_t& value) {
    return take(parent, text, value, ParseU16Cell, validateU16Cell);
}

bool TakeHexByteCell(QWidget* parent, const QString& text, uint8_t& value) {
    return take(parent, text, value, ParseHexByteCell, validateHexByteCell);
}

}  // namespace vex
