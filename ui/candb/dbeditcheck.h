#pragma once
// The checks of the database editor's dialogs, without widgets. Each validate... function takes the texts
// and states of its dialog's controls and returns the first failing message, in the order the dialog
// reads and checks them, or none when the dialog may close. Fields that hold numbers are read first, in
// control order, with the messages a dialog field gives for text that is not its kind of number.
//
// Name clashes compare byte for byte (case-sensitive) and only when the name differs from the one the
// dialog was opened with.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "candb/canmodel.h"
#include "candb/cfgcandb.h"

namespace candbui {

inline constexpr const char* kNotNumber = "请输入一个数字。";
inline constexpr const char* kNotInteger = "请输入一个整数。";
inline constexpr const char* kNotByte = "请输入一个在 0 和 255 之间的整数。";
inline constexpr const char* kSelectRowFirst = "请选择其中一项进行操作。";

// A real-number field: optional blanks, an optional sign, decimal digits with an optional point and
// exponent, optional blanks; nothing else. NaN and infinities are not numbers here.
std::optional<double> ReadRealField(std::string_view text);
// A byte field: a whole decimal number from 0 to 255, blanks around it allowed.
std::optional<uint8_t> ReadByteField(std::string_view text);
// A signed 32-bit field: a whole decimal number with an optional sign, blanks around it allowed.
std::optional<int32_t> ReadIntField(std::string_view text);
// A hexadecimal identifier: blanks, an optional "0x", one to eight hexadecimal digits, blanks.
std::optional<uint32_t> ReadHexIdField(std::string_view text);

// ---- Database attributes ----
std::optional<std::string> validateDbAttributes(std::string_view name, std::string_view origName,
                                                const std::vector<tCFG_CAN_DATABASE>* list);

// ---- Signal editor ----
struct tSIGNAL_EDIT_FIELDS {
    std::string Name;
    bool Signed = false;  // "有符号" chosen
    std::string BitLen;
    bool Intel = true;  // "INTEL" chosen
    std::string Factor, Offset, Min, Max;
    std::string Unit;
    bool EnumOn = false;
};
std::optional<std::string> validateSignalEdit(const tSIGNAL_EDIT_FIELDS& f, std::string_view origName,
                                              const CCanMsg& msg);
// Stores valid fields into the signal: everything the dialog shows except the start bit; the value
// table takes the signal's name. Description, ErrValue, BitOffset and the table's entries stay.
void ApplySignalEdit(const tSIGNAL_EDIT_FIELDS& f, CCanSignal& signal);
// The limits the range button fills in, from the sign, bit length, factor and offset fields; none when
// one of those cannot be read (its message in *message).
std::optional<std::pair<double, double>> ComputeSignalRange(const tSIGNAL_EDIT_FIELDS& f,
                                                            std::string* message = nullptr);

// ---- Value tables ----
std::optional<std::string> validateEnumEdit(std::string_view name, std::string_view origName,
                                            const tCAN_DATABASE* db);

inline constexpr uint8_t kEnumItemNew = 0;
inline constexpr uint8_t kEnumItemEdit = 2;
// The entry dialog: `table` is the table the entry belongs to; `origText`/`origVal` what the dialog was
// opened with (edit mode only). The value read is put into *value when the check passes.
std::optional<std::string> validateEnumItem(uint8_t mode, std::string_view text, std::string_view valText,
                                            std::string_view origText, int32_t origVal,
                                            const tCAN_SIGNAL_ENUM& table, int32_t* value = nullptr);
// The value proposed for a new entry: the last value added plus one, wrapping at the top of 32 bits.
int32_t ProposedEnumItemValue(uint32_t lastAdded);

// ---- Message editor ----
inline constexpr uint8_t kMsgNew = 0;
inline constexpr uint8_t kMsgEdit = 2;
struct tMSG_EDIT_FIELDS {
    std::string Name;
    std::string IdText;  // hexadecimal
    bool Ext = false;
    std::string DlText;
};
// `msg` holds the signals as the dialog has placed them; `origId` the identifier it opened with.
std::optional<std::string> validateMsgEdit(const tCAN_DATABASE* db, const tMSG_EDIT_FIELDS& f, uint8_t mode,
                                           uint32_t origId, const CCanMsg& msg);

// ---- Pickers ----
// One row of a picker's radio list: the tick text of column 0 and the name of column 1.
struct tPICK_ROW {
    std::string Tick;
    std::string Name;
};
enum class PickOutcome { Taken, Refused, Empty };
// The free-signal picker's OK: the first ticked row's signal (the first free signal of that name) into
// *signal. Refused carries the message; Empty means the dialog closes as cancelled.
PickOutcome checkFreeSignalPick(const tCAN_DATABASE* db, const CCanMsg& msg,
                                const std::vector<tPICK_ROW>& rows, CCanSignal& signal, std::string& message);
PickOutcome checkPublicEnumPick(const tCAN_DATABASE* db, const std::vector<tPICK_ROW>& rows,
                                tCAN_SIGNAL_ENUM& table, std::string& message);

// ---- Texts shared by the panes ----
// "%s [ 0x%03X ]" (standard) or "%s [ 0x%08X ]" (extended).
std::string MsgNodeText(const CCanMsg& msg);
// "%s [%d]" of a value-table entry.
std::string EnumItemText(const tCAN_SIGNAL_ENUM_ITEM& item);
// "{%d-%d}" of a signal's start bit and length.
std::string SignalPlaceText(const CCanSignal& signal);

}  // namespace candbui
