// The real desktop's side of a ReadScope: the reads of one call of the core, batched.
//
// GTK 3's bridge serves its whole tree in one Cache.GetItems reply (names, roles, states and
// the tree's shape, read when it answers); that snapshot answers what it holds, and the parts it
// cannot place (child counts that disagree, internal or managed children, defunct items) are
// asked again. GTK 4's bridge answers the same request with the elements some client has
// already read (values again read when it answers); what it places consistently is taken, the
// rest is read as elsewhere. Elsewhere (Qt 5, any other toolkit), and below what a snapshot
// holds, the elements handed out in the scope are read a whole level at a time: when one of them
// is asked for an attribute, that attribute is asked for all of them at once, pipelined, and
// asking for one element's children reads the children of its whole level. Children are read
// the way the live read reads them (children.h), so both see one tree. Either way every value
// is read after the scope opened, and everything is dropped when it closes.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/atspi/pipeline.h"
#include "platform/backend.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace pelorix::platform::atspi {

class Outline;

class Batch final : public ReadBatch {
 public:
  // A batch rooted at `root` (borrowed), or null when its application cannot be batched.
  static std::unique_ptr<Batch> open(AtspiAccessible* root, pid_t pid);
  ~Batch() override;
  void limit_to(Instant deadline) override;
  void geometry_presence_only() override;
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

  // TooMany: more children than a bulk reply is taken with (kMaxChildren), or a negative
  // count, which the live read refuses as well.
  enum class Have : std::uint8_t { Unread, Read, Live, Failed, TooMany };

  // The innermost batch open on this thread, or null.
  static Batch* current();

  // Answers a read of `attribute` from the batch: true with the status (and on success the
  // value, owned by the caller) set; false when the read is to be made live.
  bool answer(AtspiAccessible* accessible, pid_t pid, const std::string& attribute,
              CFTypeRef* value, ::AXError* status);

 private:
  enum class Field : std::uint8_t { Role, Name, Identifier, Extents, Children, Count };
  struct Node;

  // Makes the batch the thread's current one while it lives, and the one before it current
  // again afterwards. A member, so that a constructor that throws half way undoes it as well:
  // a batch freed while still current would be read by the next attribute read anywhere.
  class Current {
   public:
    explicit Current(Batch* batch);
    ~Current();
    Current(const Current&) = delete;
    Current& operator=(const Current&) = delete;

   private:
    Batch* outer_;
  };

  Batch(AtspiAccessible* root, pid_t pid);
  Node* node_of(AtspiAccessible* accessible);
  Node& add(const std::string& path, const std::string& parent);
  bool wanted(const Node& node) const;
  // Reads `field` for every node of the scope that lacks it (`first` before the others),
  // pipelined, within bounds.
  void sweep(Field field, Node* first);
  // Takes out of `nodes` the elements whose children are not to be listed whole (they manage
  // their descendants or claim too many, shown_children.h): the live read reads those on
  // screen. Learns the counts of the rest where they are read one index at a time.
  void leave_large_to_live_read(std::vector<Node*>* nodes);
  // The children of `nodes` one index at a time, as the live read asks applications without
  // Collection.
  void read_children_by_index(const std::vector<Node*>& nodes);
  // Whether the name sweep asks for `node`: an element whose role none of the elements asked
  // for their names so far had is left out while only a few roles were asked about (a query
  // by role reads only the names of elements with the roles that map to it).
  bool name_wanted(const Node& node) const;
  bool out_of_time() const;
  // Whether only the presence of this element's position and size is asked, and known.
  bool extents_known(const Node& node) const;
  bool snapshot();
  // Browsers: the shape of the scope's tree in one request (outline.h), once the scope has
  // read enough elements to be more than a glance at the top levels.
  void read_outline();
  // The shares of the outline that `parent`'s children hold, once its children are read.
  void place_children(Node& parent);
  // Takes out of `nodes` those whose children the outline tells (none, or the one element
  // below): nothing to read.
  void take_children_from_outline(std::vector<Node*>* nodes);
  bool states_from_outline(const Node& node) const;
  void learn_identifier_errors(const std::vector<Node*>& nodes);
  // The children of `parent` as elements (+1 each), known to the scope from now on.
  std::vector<CFTypeRef> hand_out_children(Node& parent);
  // Whether the live children read would list this child.
  bool shown(Node& child);
  // libatspi's accessible (+1) for an object of this application, or null.
  AtspiAccessible* accessible_at(const std::string& path);
  std::optional<std::pair<double, double>> window_origin(const Node& node);

  Peer peer_;
  std::string bus_name_;
  pid_t pid_;
  bool window_relative_ = false;
  // Whether the live read of this application's children asks Collection (which leaves out
  // what lacks the shown state) or filters them itself.
  bool by_collection_ = false;
  bool stalled_ = false;
  bool from_snapshot_ = false;
  // GTK 4.8 answers every AccessibleId with "" and every GetExtents of an element with the
  // Component interface: its bulk reply tells both without asking each element.
  bool gtk48_ = false;
  // Chromium and Firefox give every element of their trees a Component (the window, the
  // browser's own controls, every node of a page): one that is there has a position and a
  // size, which a call that only asks whether they can be read learns without asking.
  bool every_component_ = false;
  bool presence_only_ = false;
  bool outline_wanted_ = false;
  bool outline_tried_ = false;
  std::size_t outline_checks_ = 0;  // child counts asked to check what the outline tells
  std::unique_ptr<Outline> outline_;
  std::optional<Instant> deadline_;
  std::map<std::string, std::unique_ptr<Node>> nodes_;
  std::vector<Node*> order_;  // in the order they became known
  std::map<std::string, std::optional<std::pair<double, double>>> origins_;
  std::set<std::uint32_t> name_roles_;  // the roles of the elements whose names were asked
  bool names_of_any_role_ = false;      // a name was asked of an element of no known role
  Current current_{this};               // last: made current once everything else is made
};

}  // namespace pelorix::platform::atspi
