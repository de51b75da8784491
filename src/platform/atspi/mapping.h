// How AT-SPI2 names translate to AX names, as data: roles, the roles that behave alike, the
// states behind boolean attributes, and the statuses behind D-Bus error texts. The unit tests
// read these tables and check docs/atspi-mapping.md against them.
#pragma once

#include <atspi/atspi.h>

#include <span>
#include <string_view>

#include "platform/accessibility.h"

namespace pelorix::platform::atspi {

struct RoleMapping {
  AtspiRole role;
  std::string_view ax_role;
  // When set: the AX role of an element that also has the multi-line state.
  std::string_view multi_line_ax_role = {};
};

inline constexpr RoleMapping kRoles[] = {
    {ATSPI_ROLE_APPLICATION, "AXApplication"},
    {ATSPI_ROLE_FRAME, "AXWindow"},
    {ATSPI_ROLE_DIALOG, "AXWindow"},
    {ATSPI_ROLE_WINDOW, "AXWindow"},
    {ATSPI_ROLE_ALERT, "AXWindow"},
    {ATSPI_ROLE_FILE_CHOOSER, "AXWindow"},
    {ATSPI_ROLE_PUSH_BUTTON, "AXButton"},
    {ATSPI_ROLE_PUSH_BUTTON_MENU, "AXMenuButton"},
    {ATSPI_ROLE_CHECK_BOX, "AXCheckBox"},
    {ATSPI_ROLE_TOGGLE_BUTTON, "AXCheckBox"},
    {ATSPI_ROLE_RADIO_BUTTON, "AXRadioButton"},
    {ATSPI_ROLE_PAGE_TAB, "AXRadioButton"},
    {ATSPI_ROLE_MENU_BAR, "AXMenuBar"},
    {ATSPI_ROLE_MENU, "AXMenu"},
    {ATSPI_ROLE_POPUP_MENU, "AXMenu"},
    {ATSPI_ROLE_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_CHECK_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_RADIO_MENU_ITEM, "AXMenuItem"},
    {ATSPI_ROLE_TEAROFF_MENU_ITEM, "AXMenuItem"},
    // A web page's text area is an entry that says it takes several lines.
    {ATSPI_ROLE_ENTRY, "AXTextField", "AXTextArea"},
    {ATSPI_ROLE_PASSWORD_TEXT, "AXTextField"},
    {ATSPI_ROLE_EDITBAR, "AXTextField"},
    {ATSPI_ROLE_TEXT, "AXTextField", "AXTextArea"},
    {ATSPI_ROLE_TERMINAL, "AXTextArea"},
    {ATSPI_ROLE_DOCUMENT_TEXT, "AXTextArea"},
    {ATSPI_ROLE_LABEL, "AXStaticText"},
    {ATSPI_ROLE_STATIC, "AXStaticText"},
    {ATSPI_ROLE_CAPTION, "AXStaticText"},
    {ATSPI_ROLE_PARAGRAPH, "AXStaticText"},
    {ATSPI_ROLE_ACCELERATOR_LABEL, "AXStaticText"},
    {ATSPI_ROLE_HEADING, "AXHeading"},
    {ATSPI_ROLE_COMBO_BOX, "AXComboBox"},
    {ATSPI_ROLE_LIST, "AXList"},
    {ATSPI_ROLE_LIST_BOX, "AXList"},
    {ATSPI_ROLE_LIST_ITEM, "AXRow"},
    {ATSPI_ROLE_TABLE_ROW, "AXRow"},
    {ATSPI_ROLE_TABLE, "AXTable"},
    {ATSPI_ROLE_TREE_TABLE, "AXTable"},
    {ATSPI_ROLE_TREE, "AXOutline"},
    {ATSPI_ROLE_TABLE_CELL, "AXCell"},
    {ATSPI_ROLE_TREE_ITEM, "AXCell"},
    {ATSPI_ROLE_COLUMN_HEADER, "AXCell"},
    {ATSPI_ROLE_TABLE_COLUMN_HEADER, "AXCell"},
    {ATSPI_ROLE_ROW_HEADER, "AXCell"},
    {ATSPI_ROLE_TABLE_ROW_HEADER, "AXCell"},
    {ATSPI_ROLE_SLIDER, "AXSlider"},
    {ATSPI_ROLE_DIAL, "AXSlider"},
    {ATSPI_ROLE_SPIN_BUTTON, "AXIncrementor"},
    {ATSPI_ROLE_SCROLL_BAR, "AXScrollBar"},
    {ATSPI_ROLE_PROGRESS_BAR, "AXProgressIndicator"},
    {ATSPI_ROLE_LEVEL_BAR, "AXLevelIndicator"},
    {ATSPI_ROLE_SCROLL_PANE, "AXScrollArea"},
    {ATSPI_ROLE_VIEWPORT, "AXScrollArea"},
    {ATSPI_ROLE_SPLIT_PANE, "AXSplitGroup"},
    {ATSPI_ROLE_PAGE_TAB_LIST, "AXTabGroup"},
    {ATSPI_ROLE_TOOL_BAR, "AXToolbar"},
    {ATSPI_ROLE_IMAGE, "AXImage"},
    {ATSPI_ROLE_ICON, "AXImage"},
    {ATSPI_ROLE_ANIMATION, "AXImage"},
    {ATSPI_ROLE_LINK, "AXLink"},
    {ATSPI_ROLE_TOOL_TIP, "AXHelpTag"},
    {ATSPI_ROLE_DATE_EDITOR, "AXDateField"},
    {ATSPI_ROLE_COLOR_CHOOSER, "AXColorWell"},
    {ATSPI_ROLE_DOCUMENT_FRAME, "AXWebArea"},
    {ATSPI_ROLE_DOCUMENT_WEB, "AXWebArea"},
    {ATSPI_ROLE_SEPARATOR, "AXSplitter"},
};

// Roles that only group other elements: AXGroup, but a window directly below the application,
// as any role missing from kRoles is there (Qt's top-level widgets are fillers).
inline constexpr AtspiRole kGroupRoles[] = {
    ATSPI_ROLE_FILLER,
    ATSPI_ROLE_PANEL,
    ATSPI_ROLE_GROUPING,
    ATSPI_ROLE_SECTION,
    ATSPI_ROLE_FORM,
    ATSPI_ROLE_ROOT_PANE,
    ATSPI_ROLE_GLASS_PANE,
    ATSPI_ROLE_LAYERED_PANE,
    ATSPI_ROLE_INTERNAL_FRAME,
    ATSPI_ROLE_OPTION_PANE,
    ATSPI_ROLE_DESKTOP_FRAME,
    ATSPI_ROLE_EMBEDDED,
    ATSPI_ROLE_CANVAS,
    ATSPI_ROLE_DRAWING_AREA,
    ATSPI_ROLE_STATUS_BAR,
    ATSPI_ROLE_INFO_BAR,
    ATSPI_ROLE_NOTIFICATION,
    ATSPI_ROLE_ARTICLE,
    ATSPI_ROLE_BLOCK_QUOTE,
    ATSPI_ROLE_LANDMARK,
    ATSPI_ROLE_LOG,
    ATSPI_ROLE_MARQUEE,
    ATSPI_ROLE_TIMER,
    ATSPI_ROLE_CALENDAR,
    ATSPI_ROLE_FOOTER,
    ATSPI_ROLE_HEADER,
    ATSPI_ROLE_PAGE,
    ATSPI_ROLE_DOCUMENT_EMAIL,
    ATSPI_ROLE_DOCUMENT_PRESENTATION,
    ATSPI_ROLE_DOCUMENT_SPREADSHEET,
};

// Roles whose text the user edits: their AXValue is their text, and pressing one focuses it.
inline constexpr AtspiRole kEditableTextRoles[] = {
    ATSPI_ROLE_TEXT,    ATSPI_ROLE_ENTRY,    ATSPI_ROLE_PASSWORD_TEXT,
    ATSPI_ROLE_EDITBAR, ATSPI_ROLE_TERMINAL, ATSPI_ROLE_DOCUMENT_TEXT,
};

// Roles that label: their AXValue is their text, or their name when they have no Text
// interface (Qt's labels).
inline constexpr AtspiRole kLabelRoles[] = {
    ATSPI_ROLE_LABEL,
    ATSPI_ROLE_STATIC,
    ATSPI_ROLE_CAPTION,
    ATSPI_ROLE_HEADING,
    ATSPI_ROLE_ACCELERATOR_LABEL,
};
// Other roles whose AXValue is their text, when they have a Text interface: a spreadsheet's
// cell shows its text (what a formula gives), which is what a user reads.
inline constexpr AtspiRole kOtherTextRoles[] = {ATSPI_ROLE_PARAGRAPH, ATSPI_ROLE_COMBO_BOX,
                                                ATSPI_ROLE_TABLE_CELL};

// Roles whose AXValue is 1 when one of kCheckedStates is set, else 0.
inline constexpr AtspiRole kCheckableRoles[] = {
    ATSPI_ROLE_CHECK_BOX,       ATSPI_ROLE_TOGGLE_BUTTON,   ATSPI_ROLE_RADIO_BUTTON,
    ATSPI_ROLE_CHECK_MENU_ITEM, ATSPI_ROLE_RADIO_MENU_ITEM,
};
inline constexpr AtspiStateType kCheckedStates[] = {ATSPI_STATE_CHECKED, ATSPI_STATE_PRESSED};

// Menu items whose AXMenuItemMarkChar is kMenuItemMark while they have kCheckedStates (Qt marks
// its checkable menu items with the checked state alone, in the plain menu item role); without
// the state they have no mark (kAXErrorNoValue).
inline constexpr AtspiRole kMarkedMenuItemRoles[] = {
    ATSPI_ROLE_MENU_ITEM,
    ATSPI_ROLE_CHECK_MENU_ITEM,
    ATSPI_ROLE_RADIO_MENU_ITEM,
};
inline constexpr std::string_view kMenuItemMark = "\xe2\x9c\x93";  // U+2713, in UTF-8

// Roles that a pointer click in their middle presses when they offer no action for it.
inline constexpr AtspiRole kClickableRoles[] = {
    ATSPI_ROLE_PUSH_BUTTON,     ATSPI_ROLE_PUSH_BUTTON_MENU,
    ATSPI_ROLE_TOGGLE_BUTTON,   ATSPI_ROLE_CHECK_BOX,
    ATSPI_ROLE_RADIO_BUTTON,    ATSPI_ROLE_MENU_ITEM,
    ATSPI_ROLE_CHECK_MENU_ITEM, ATSPI_ROLE_RADIO_MENU_ITEM,
    ATSPI_ROLE_PAGE_TAB,        ATSPI_ROLE_LINK,
    ATSPI_ROLE_LIST_ITEM,       ATSPI_ROLE_TABLE_CELL,
    ATSPI_ROLE_TREE_ITEM,       ATSPI_ROLE_COMBO_BOX,
};

// What a person does not see is not in the tree (docs/atspi-mapping.md, "Hidden elements"): an
// element without kShownState is left out of its parent's children with its subtree, unless its
// role is one of kKeptWhileHiddenRoles. VISIBLE is off exactly for what the application hid (a
// closed popover, a widget of a mode that is not on, a dialog kept for later); SHOWING would
// also drop whatever is scrolled away, the items of closed menus, and in GTK 4 everything below
// the window, which GTK 4 never marks showing.
inline constexpr AtspiStateType kShownState = ATSPI_STATE_VISIBLE;
// Menus and their items stay whatever their state: the items of a closed menu are reachable on
// a desktop, and Qt marks a closed menu and its items not visible.
inline constexpr AtspiRole kKeptWhileHiddenRoles[] = {
    ATSPI_ROLE_MENU,
    ATSPI_ROLE_POPUP_MENU,
    ATSPI_ROLE_MENU_ITEM,
    ATSPI_ROLE_CHECK_MENU_ITEM,
    ATSPI_ROLE_RADIO_MENU_ITEM,
    ATSPI_ROLE_TEAROFF_MENU_ITEM,
};
// Whether an element of this role, with or without kShownState, is hidden.
bool is_hidden(AtspiRole role, bool shown);

// Cells, rows and list items: a press selects the row, and the second press of a double click
// activates it, as with a mouse (docs/atspi-mapping.md, "Actions").
inline constexpr AtspiRole kRowRoles[] = {
    ATSPI_ROLE_TABLE_CELL,
    ATSPI_ROLE_TREE_ITEM,
    ATSPI_ROLE_LIST_ITEM,
    ATSPI_ROLE_TABLE_ROW,
};

// A boolean attribute: true when the element has either state.
struct StateAttribute {
  std::string_view attribute;
  AtspiStateType state;
  // ATSPI_STATE_INVALID when one state decides alone.
  AtspiStateType other_state = ATSPI_STATE_INVALID;
};

inline constexpr StateAttribute kStateAttributes[] = {
    // GTK 4 sets only "sensitive".
    {"AXEnabled", ATSPI_STATE_ENABLED, ATSPI_STATE_SENSITIVE},
    {"AXFocused", ATSPI_STATE_FOCUSED},
    {"AXSelected", ATSPI_STATE_SELECTED},
    {"AXExpanded", ATSPI_STATE_EXPANDED},
    // macOS has no attribute for these four; on Linux the backend answers them under these
    // names, and the companion package's states read them.
    {"AXVisible", ATSPI_STATE_VISIBLE},
    {"AXEditable", ATSPI_STATE_EDITABLE},
    {"AXFocusable", ATSPI_STATE_FOCUSABLE},
};

// AXShowing is the showing state, except for toolkits that never set it below a window
// (toolkit() starts with one of these): there an element is showing when it is visible and has
// an area on screen, since a widget that is not mapped (a page of a stack that is not shown, a
// closed popover) reports empty extents.
inline constexpr AtspiStateType kShowingState = ATSPI_STATE_SHOWING;
inline constexpr std::string_view kToolkitsWithoutShowing[] = {"GTK 4."};

// libatspi passes on a D-Bus error's text: the error names are stable, and so is libatspi's
// own wording for a vanished application. The first fragment the text contains decides;
// a text with none is kAXErrorFailure.
struct StatusFragment {
  std::string_view fragment;
  ::AXError status;
};

inline constexpr StatusFragment kStatusFragments[] = {
    {"NoReply", kAXErrorCannotComplete},
    {"Did not receive a reply", kAXErrorCannotComplete},
    {"imed out", kAXErrorCannotComplete},
    {"Timeout", kAXErrorCannotComplete},
    {"timeout", kAXErrorCannotComplete},
    {"UnknownObject", kAXErrorInvalidUIElement},
    {"Unknown object", kAXErrorInvalidUIElement},
    {"UnknownMethod", kAXErrorInvalidUIElement},
    {"ServiceUnknown", kAXErrorInvalidUIElement},
    {"not provided by any", kAXErrorInvalidUIElement},
    {"no longer exists", kAXErrorInvalidUIElement},
    {"Disconnected", kAXErrorInvalidUIElement},
    {"does not exist", kAXErrorInvalidUIElement},
    {"doesn't exist", kAXErrorInvalidUIElement},
    {"was not provided", kAXErrorInvalidUIElement},
};

// The AX role of an AT-SPI role from kRoles; empty for the others.
std::string_view mapped_role(AtspiRole role, bool multi_line);
bool role_in(std::span<const AtspiRole> roles, AtspiRole role);
// The status a failed call's error text means.
::AXError status_of_text(std::string_view message);

}  // namespace pelorix::platform::atspi
