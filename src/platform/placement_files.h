// The file operations an update's placement is made of, on three trees that
// lie on one file system: the destination, the staged tree the library
// extracted into, and the set-aside tree that keeps what the update
// replaces until it is complete. Paths are relative to their tree, with
// components separated by '/' ("" is the tree itself); each implementation
// walks them one component at a time, never through a link, and acts
// relative to the directory it holds rather than by a path another process
// could swap.
//
// The logic of placement (the order of moves, the journal, rollback and
// recovery) is written once above this interface; the platforms implement
// it, and the unit tests with a fake.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bu::platform {

enum class Tree { Destination, Staged, Aside };

enum class NodeKind { Missing, File, Directory, Link, Other };

// What can be put back on a directory that placement changed: its
// permissions or attributes and its times, in the platform's own units.
struct NodeStamp {
  std::uint32_t mode = 0;
  std::int64_t accessed = 0;
  std::int64_t modified = 0;
};

struct Node {
  std::wstring name;
  NodeKind kind = NodeKind::Missing;
  bool special = false;  // a setuid, setgid or sticky bit is set
};

class PlacementFiles {
 public:
  virtual ~PlacementFiles() = default;

  virtual NodeKind kind(Tree tree, const std::wstring& path) = 0;
  // The nodes directly inside the directory `path`; false when it cannot be
  // read.
  virtual bool list(Tree tree, const std::wstring& path, std::vector<Node>& nodes) = 0;
  // Whether list() must look at each node's mode for special bits (it may
  // take the kinds from the directory alone otherwise): only an archive
  // whose headers carry such bits, or links that share a file, can make them.
  virtual void lookForSpecialBits(bool look) { (void)look; }
  // Moves a node between or within the trees. Never replaces: fails when
  // anything lies at `to`.
  virtual bool move(Tree fromTree, const std::wstring& from, Tree toTree,
                    const std::wstring& to) = 0;
  // Clears the setuid, setgid and sticky bits of a staged node.
  virtual bool clearSpecialBits(const std::wstring& path) = 0;
  // The permissions (or attributes) the library gave the staged directory
  // `path` are given to the destination's directory of that name.
  virtual bool copyMode(const std::wstring& path) = 0;
  virtual bool stamp(const std::wstring& path, NodeStamp& stamp) = 0;
  virtual bool restoreStamp(const std::wstring& path, const NodeStamp& stamp) = 0;

  // The journal: appended to; `durable` flushes it, and everything staged
  // before it, to the disk before answering.
  virtual bool appendJournal(const std::string& records, bool durable) = 0;
};

}  // namespace bu::platform
