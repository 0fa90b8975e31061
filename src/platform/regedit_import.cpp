// Applying an import's sections to the tree.
#include "platform/regedit_format.h"

#include <deque>
#include <functional>
#include <unordered_map>

#include "platform/regedit_detail.h"

namespace qv::platform {

using regedit_detail::lowered;

namespace {

// Hash for maps keyed by (already folded) names that are looked up by string_view.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// The tree as an import changes it, with what makes each step cost time independent of
// the tree's size: keys and values found by hash, [-KEY] walking only the keys below the
// one deleted (through a tree of the names), and removals marked first and swept out once
// at the end.
class ImportWork {
public:
  explicit ImportWork(RegistryTree& tree) : tree_(tree), deadKey_(tree.keys.size(), false) {
    for (std::size_t i = 0; i < tree.keys.size(); ++i) {
      Node& node = nodes_[nodeFor(lowered(tree.keys[i].name))];
      if (node.entry == kNone) node.entry = i;  // a name twice over: the first one counts, as in findKey
    }
  }

  // The entry of the key, created with its missing parents (roots only get an entry).
  std::size_t key(std::string_view fullName) {
    const std::string folded = lowered(fullName);
    const std::size_t node = nodeFor(folded);
    if (nodes_[node].entry != kNone) return nodes_[node].entry;
    // Lengths of the names without an entry, from this key up to the nearest one that has
    // one (or the root, which never gets an entry as a parent).
    std::vector<std::size_t> missing{folded.size()};
    for (std::size_t cut = folded.rfind('\\'); cut != std::string::npos && cut > 0; cut = folded.rfind('\\', cut - 1)) {
      std::string_view parent = std::string_view(folded).substr(0, cut);
      if (isRootKeyName(parent) || nodes_[nodeOf_.find(parent)->second].entry != kNone) break;
      missing.push_back(cut);
    }
    for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
      nodes_[nodeOf_.find(std::string_view(folded).substr(0, *length))->second].entry = tree_.keys.size();
      tree_.keys.push_back(RegKeyEntry{std::string(fullName.substr(0, *length)), {}});
      deadKey_.push_back(false);
    }
    return nodes_[node].entry;
  }

  void deleteKeyTree(std::string_view fullName) {
    auto found = nodeOf_.find(std::string_view(lowered(fullName)));
    if (found == nodeOf_.end()) return;
    Node& top = nodes_[found->second];
    removeEntry(top);
    // The names below leave the name tree; the top one stays where it hangs.
    std::vector<std::size_t> pending = std::move(top.children);
    top.children.clear();
    while (!pending.empty()) {
      Node& node = nodes_[pending.back()];
      pending.pop_back();
      removeEntry(node);
      pending.insert(pending.end(), node.children.begin(), node.children.end());
      node.children.clear();
      nodeOf_.erase(std::string_view(node.name));
    }
  }

  void setValue(std::size_t keyEntry, const std::string& name, const RegistryValue& value) {
    Values& values = valuesOf(keyEntry);
    RegKeyEntry& key = tree_.keys[keyEntry];
    auto [place, added] = values.position.try_emplace(lowered(name), key.values.size());
    if (added) {
      key.values.push_back(RegValueEntry{name, value});
      values.dead.push_back(false);
    } else {
      key.values[place->second].value = value;
    }
  }

  void removeValue(std::size_t keyEntry, std::string_view name) {
    Values& values = valuesOf(keyEntry);
    auto place = values.position.find(std::string_view(lowered(name)));
    if (place == values.position.end()) return;
    values.dead[place->second] = true;
    values.anyDead = true;
    values.position.erase(place);
  }

  // Sweeps out what was removed.
  void finish() {
    for (auto& [keyEntry, values] : values_) {
      if (values.anyDead) sweep(tree_.keys[keyEntry].values, values.dead);
    }
    sweep(tree_.keys, deadKey_);
  }

private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // One name of the name tree: a key, or a name above keys that has no entry itself.
  struct Node {
    std::string name;  // folded
    std::size_t entry = kNone;
    std::vector<std::size_t> children;
  };
  // The values of one key that the import touches.
  struct Values {
    std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>> position;  // folded name -> index
    std::vector<bool> dead;
    bool anyDead = false;
  };

  template <class T>
  static void sweep(std::vector<T>& items, const std::vector<bool>& dead) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (dead[i]) continue;
      if (kept != i) items[kept] = std::move(items[i]);
      ++kept;
    }
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
  }

  // The node of a folded name, made with the nodes of the names above it when missing.
  std::size_t nodeFor(std::string_view folded) {
    if (auto found = nodeOf_.find(folded); found != nodeOf_.end()) return found->second;
    std::vector<std::string_view> missing{folded};
    std::size_t parent = kNone;
    for (std::size_t cut = folded.rfind('\\'); cut != std::string_view::npos;) {
      std::string_view above = folded.substr(0, cut);
      if (auto found = nodeOf_.find(above); found != nodeOf_.end()) {
        parent = found->second;
        break;
      }
      missing.push_back(above);
      cut = cut == 0 ? std::string_view::npos : folded.rfind('\\', cut - 1);
    }
    for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
      const std::size_t id = nodes_.size();
      nodes_.push_back(Node{std::string(*name), kNone, {}});
      nodeOf_.emplace(std::string_view(nodes_.back().name), id);
      if (parent != kNone) nodes_[parent].children.push_back(id);
      parent = id;
    }
    return parent;
  }

  void removeEntry(Node& node) {
    if (node.entry == kNone) return;
    deadKey_[node.entry] = true;
    values_.erase(node.entry);
    node.entry = kNone;
  }

  Values& valuesOf(std::size_t keyEntry) {
    auto [found, added] = values_.try_emplace(keyEntry);
    if (added) {
      const auto& list = tree_.keys[keyEntry].values;
      found->second.dead.assign(list.size(), false);
      for (std::size_t i = 0; i < list.size(); ++i) found->second.position.try_emplace(lowered(list[i].name), i);
    }
    return found->second;
  }

  RegistryTree& tree_;
  std::vector<bool> deadKey_;
  std::deque<Node> nodes_;  // a deque: nodeOf_ points into the names, which must not move
  std::unordered_map<std::string_view, std::size_t, NameHash, std::equal_to<>> nodeOf_;
  std::unordered_map<std::size_t, Values> values_;  // by key entry
};

}  // namespace

void applyImport(RegistryTree& tree, const std::vector<RegeditSection>& sections) {
  ImportWork work(tree);
  for (const RegeditSection& section : sections) {
    if (section.deleteKey) {
      work.deleteKeyTree(section.key);
      continue;
    }
    const std::size_t key = work.key(section.key);
    for (const RegeditValueLine& v : section.values) {
      if (v.value) {
        work.setValue(key, v.name, *v.value);
      } else {
        work.removeValue(key, v.name);
      }
    }
  }
  work.finish();
}

}  // namespace qv::platform
