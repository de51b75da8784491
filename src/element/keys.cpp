#include "element/keys.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <optional>

namespace pelorix::keys {
namespace {

struct KeyName {
  std::string_view name;
  std::uint16_t code;
  bool shift;  // the US layout needs Shift for it
};

// The macOS virtual key codes (Apple's kVK_* values, US layout) of the keys named by X keysym
// names. Characters have their own table below; these are the keys that type none.
constexpr KeyName kNamedKeys[] = {
    {"Return", 36, false},
    {"Tab", 48, false},
    {"BackSpace", 51, false},
    {"Escape", 53, false},
    {"Delete", 117, false},  // forward delete
    {"Home", 115, false},
    {"End", 119, false},
    {"Page_Up", 116, false},
    {"Prior", 116, false},
    {"Page_Down", 121, false},
    {"Next", 121, false},
    {"Left", 123, false},
    {"Right", 124, false},
    {"Down", 125, false},
    {"Up", 126, false},
    // Apple's Help key sits where a PC keyboard has Insert, and X servers treat it as Insert.
    {"Insert", 114, false},
    {"Caps_Lock", 57, false},
    {"F1", 122, false},
    {"F2", 120, false},
    {"F3", 99, false},
    {"F4", 118, false},
    {"F5", 96, false},
    {"F6", 97, false},
    {"F7", 98, false},
    {"F8", 100, false},
    {"F9", 101, false},
    {"F10", 109, false},
    {"F11", 103, false},
    {"F12", 111, false},
    {"F13", 105, false},
    {"F14", 107, false},
    {"F15", 113, false},
    {"F16", 106, false},
    {"F17", 64, false},
    {"F18", 79, false},
    {"F19", 80, false},
    {"F20", 90, false},
    {"KP_0", 82, false},
    {"KP_1", 83, false},
    {"KP_2", 84, false},
    {"KP_3", 85, false},
    {"KP_4", 86, false},
    {"KP_5", 87, false},
    {"KP_6", 88, false},
    {"KP_7", 89, false},
    {"KP_8", 91, false},
    {"KP_9", 92, false},
    {"KP_Decimal", 65, false},
    {"KP_Multiply", 67, false},
    {"KP_Add", 69, false},
    {"KP_Divide", 75, false},
    {"KP_Enter", 76, false},
    {"KP_Subtract", 78, false},
    {"KP_Equal", 81, false},
    {"Shift_L", 56, false},
    {"Shift_R", 60, false},
    {"Control_L", 59, false},
    {"Control_R", 62, false},
    {"Alt_L", 58, false},
    {"Alt_R", 61, false},
    {"Super_L", 55, false},
    {"Super_R", 54, false},
    {"Meta_L", 55, false},
    {"Meta_R", 54, false},
    {"XF86AudioRaiseVolume", 72, false},
    {"XF86AudioLowerVolume", 73, false},
    {"XF86AudioMute", 74, false},
};

// The keys that type a printable ASCII character, with the keysym names of the punctuation.
struct CharacterKey {
  char character;
  std::string_view name;  // empty for letters and digits: the character is the name
  std::uint16_t code;
  bool shift;
};

constexpr CharacterKey kCharacterKeys[] = {
    {'a', "", 0, false},
    {'s', "", 1, false},
    {'d', "", 2, false},
    {'f', "", 3, false},
    {'h', "", 4, false},
    {'g', "", 5, false},
    {'z', "", 6, false},
    {'x', "", 7, false},
    {'c', "", 8, false},
    {'v', "", 9, false},
    {'b', "", 11, false},
    {'q', "", 12, false},
    {'w', "", 13, false},
    {'e', "", 14, false},
    {'r', "", 15, false},
    {'y', "", 16, false},
    {'t', "", 17, false},
    {'1', "", 18, false},
    {'2', "", 19, false},
    {'3', "", 20, false},
    {'4', "", 21, false},
    {'6', "", 22, false},
    {'5', "", 23, false},
    {'9', "", 25, false},
    {'7', "", 26, false},
    {'8', "", 28, false},
    {'0', "", 29, false},
    {'o', "", 31, false},
    {'u', "", 32, false},
    {'i', "", 34, false},
    {'p', "", 35, false},
    {'l', "", 37, false},
    {'j', "", 38, false},
    {'k', "", 40, false},
    {'n', "", 45, false},
    {'m', "", 46, false},
    {'=', "equal", 24, false},
    {'+', "plus", 24, true},
    {'-', "minus", 27, false},
    {'_', "underscore", 27, true},
    {']', "bracketright", 30, false},
    {'}', "braceright", 30, true},
    {'[', "bracketleft", 33, false},
    {'{', "braceleft", 33, true},
    {'\'', "apostrophe", 39, false},
    {'"', "quotedbl", 39, true},
    {';', "semicolon", 41, false},
    {':', "colon", 41, true},
    {'\\', "backslash", 42, false},
    {'|', "bar", 42, true},
    {',', "comma", 43, false},
    {'<', "less", 43, true},
    {'/', "slash", 44, false},
    {'?', "question", 44, true},
    {'.', "period", 47, false},
    {'>', "greater", 47, true},
    {'`', "grave", 50, false},
    {'~', "asciitilde", 50, true},
    {' ', "space", 49, false},
    {'!', "exclam", 18, true},
    {'@', "at", 19, true},
    {'#', "numbersign", 20, true},
    {'$', "dollar", 21, true},
    {'%', "percent", 23, true},
    {'^', "asciicircum", 22, true},
    {'&', "ampersand", 26, true},
    {'*', "asterisk", 28, true},
    {'(', "parenleft", 25, true},
    {')', "parenright", 29, true},
};

// Other spellings, compared without regard to case, and the keysym name each stands for.
struct Alias {
  std::string_view alias;
  std::string_view name;
};
constexpr Alias kAliases[] = {
    {"enter", "Return"},       {"esc", "Escape"},      {"del", "Delete"},
    {"pageup", "Page_Up"},     {"pgup", "Page_Up"},    {"pagedown", "Page_Down"},
    {"pgdn", "Page_Down"},     {"ins", "Insert"},      {"arrowleft", "Left"},
    {"arrowright", "Right"},   {"arrowup", "Up"},      {"arrowdown", "Down"},
    {"capslock", "Caps_Lock"}, {"shift", "Shift_L"},   {"ctrl", "Control_L"},
    {"control", "Control_L"},  {"alt", "Alt_L"},       {"option", "Alt_L"},
    {"super", "Super_L"},      {"meta", "Super_L"},    {"cmd", "Super_L"},
    {"command", "Super_L"},    {"quoteleft", "grave"}, {"quoteright", "apostrophe"},
};

// X keys a Mac keyboard has no key for.
constexpr std::string_view kMissingOnMac[] = {
    "Print", "Sys_Req", "Pause", "Break", "Scroll_Lock", "Num_Lock", "Menu", "Help", "Linefeed",
};

struct Found {
  std::string_view name;
  std::uint16_t code;
  bool shift;
};

bool same_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

std::optional<Found> character_key(char c) {
  char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  for (const CharacterKey& key : kCharacterKeys) {
    if (key.character != lower) continue;
    // Capitals are their letter's key with Shift, as the keysym "T" is.
    bool shift = key.shift || lower != c;
    return Found{key.name.empty() ? std::string_view() : key.name, key.code, shift};
  }
  return std::nullopt;
}

std::optional<Found> by_name(std::string_view part, bool any_case) {
  auto same = [&](std::string_view name) {
    return any_case ? same_ignoring_case(name, part) : name == part;
  };
  for (const KeyName& key : kNamedKeys)
    if (same(key.name)) return Found{key.name, key.code, key.shift};
  for (const CharacterKey& key : kCharacterKeys)
    if (!key.name.empty() && same(key.name)) return Found{key.name, key.code, key.shift};
  return std::nullopt;
}

std::optional<Found> lookup(std::string_view part) {
  // One character names its own key, case and all: "a" and "A" (Shift+a) as in X.
  if (part.size() == 1) {
    auto found = character_key(part[0]);
    if (found && found->name.empty()) found->name = part;
    return found;
  }
  if (auto exact = by_name(part, false)) return exact;
  if (auto any_case = by_name(part, true)) return any_case;
  for (const Alias& alias : kAliases)
    if (same_ignoring_case(alias.alias, part)) return by_name(alias.name, false);
  return std::nullopt;
}

bool missing_on_mac(std::string_view part) {
  for (std::string_view name : kMissingOnMac)
    if (same_ignoring_case(name, part)) return true;
  // F21 to F35 exist in X; Apple's keyboards stop at F20.
  if (part.size() == 3 && (part[0] == 'F' || part[0] == 'f')) {
    int number = (part[1] - '0') * 10 + (part[2] - '0');
    return part[1] >= '0' && part[1] <= '9' && part[2] >= '0' && part[2] <= '9' && number >= 21 &&
           number <= 35;
  }
  return false;
}

std::optional<Modifier> modifier_of_code(std::uint16_t code) {
  switch (code) {
    case 56:
    case 60:
      return Modifier::Shift;
    case 59:
    case 62:
      return Modifier::Control;
    case 58:
    case 61:
      return Modifier::Alt;
    case 55:
    case 54:
      return Modifier::Super;
    default:
      return std::nullopt;
  }
}

std::string_view trim(std::string_view part) {
  while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) part.remove_prefix(1);
  while (!part.empty() && (part.back() == ' ' || part.back() == '\t')) part.remove_suffix(1);
  return part;
}

// Messages are built by appending: GCC 12 at -O3 mistakes `"literal" + std::string` for an
// overlapping copy (-Wrestrict).
std::string joined(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

KeyError unknown(std::string_view part, std::string_view text) {
  if (missing_on_mac(part))
    return {joined(
        {"Key '", part, "' in '", text, "' is not offered: Mac keyboards have no such key"})};
  return {joined({"Unknown key name '", part, "' in '", text, "'"})};
}

}  // namespace

std::vector<std::string> known_key_names() {
  std::vector<std::string> out;
  for (const KeyName& key : kNamedKeys) out.emplace_back(key.name);
  for (const CharacterKey& key : kCharacterKeys) {
    out.emplace_back(key.name.empty() ? std::string(1, key.character) : std::string(key.name));
    if (key.character >= 'a' && key.character <= 'z')
      out.emplace_back(1, static_cast<char>(key.character - 32));
  }
  return out;
}

std::uint16_t modifier_key_code(Modifier modifier) {
  constexpr std::array<std::uint16_t, 4> codes = {56, 59, 58, 55};
  return codes[static_cast<std::size_t>(modifier)];
}

std::string_view modifier_name(Modifier modifier) {
  constexpr std::array<std::string_view, 4> names = {"shift", "ctrl", "alt", "super"};
  return names[static_cast<std::size_t>(modifier)];
}

Result<Chord, KeyError> parse_chord(std::string_view text) {
  if (text.size() > kMaxCombinationLength)
    return KeyError{joined({"Key combination too long: ", std::to_string(text.size()),
                            " bytes, at most ", std::to_string(kMaxCombinationLength)})};
  if (trim(text).empty()) return KeyError{"Empty key combination"};
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    std::size_t plus = text.find('+', start);
    parts.push_back(trim(text.substr(start, plus == std::string_view::npos ? plus : plus - start)));
    if (plus == std::string_view::npos) break;
    start = plus + 1;
  }
  Chord chord;
  auto add_modifier = [&](Modifier modifier) {
    if (std::find(chord.modifiers.begin(), chord.modifiers.end(), modifier) ==
        chord.modifiers.end())
      chord.modifiers.push_back(modifier);
  };
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string_view part = parts[i];
    if (part.empty())
      return KeyError{joined({"Empty key name in '", text, "' (write '+' as 'plus')"})};
    auto found = lookup(part);
    if (!found) return unknown(part, text);
    if (i + 1 < parts.size()) {
      auto modifier = modifier_of_code(found->code);
      if (!modifier)
        return KeyError{joined({"'", part, "' in '", text,
                                "' is not a modifier (shift, ctrl, alt, super): only the last key "
                                "may be another key"})};
      add_modifier(*modifier);
      continue;
    }
    chord.key_code = found->code;
    chord.key_name = std::string(found->name);
    if (found->shift) add_modifier(Modifier::Shift);
  }
  return chord;
}

std::optional<Modifier> modifier_of_key(std::uint16_t key_code) {
  return modifier_of_code(key_code);
}

}  // namespace pelorix::keys
