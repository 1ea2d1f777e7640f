// Both trees of `vek diff -r` walked side by side: the folders that are
// folders in both, in the order a depth-first walk in byte order of names
// meets them, each listed, its entries looked at, and its plain files that
// are in both compared. That is the bulk of the work on two releases, where
// most files have not changed; where the system gives threads, it is done
// on one of its own, a few folders ahead of the caller, which joins in
// when it has to wait. Files are compared a block at a time: none is held
// whole.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "system/tree_files.h"

namespace vekcli::update {

// An entry of a folder in either tree or both, looked at.
struct PairEntry {
    std::string name;
    // What it is in each tree: kind kNone where it is not there. The mode
    // is known for folders; a file's comes when it is read.
    tree::EntryInfo was;
    tree::EntryInfo is;
    // A plain file in both, with the same bytes and permission bits.
    bool same = false;
    // Why it could not be looked at; empty when it could.
    std::string fault;
};

struct FolderPair {
    std::string path;  // under the trees, "" for the trees themselves
    tree::OpenFolder olds;
    tree::OpenFolder news;
    std::vector<PairEntry> entries;  // in byte order of names
    std::string fault;               // why it could not be opened or listed
};

class TreeWalk {
  public:
    TreeWalk(const std::string& oldRoot, const std::string& newRoot);
    ~TreeWalk();
    TreeWalk(const TreeWalk&) = delete;
    TreeWalk& operator=(const TreeWalk&) = delete;

    // The next folder pair of the walk; null after the last.
    std::shared_ptr<const FolderPair> Next();

  private:
    struct Walker;
    struct Ahead;
    std::unique_ptr<Walker> m_walker;
    std::unique_ptr<Ahead> m_ahead;
};

// An entry of `folder` (shown as `shown`) as its listing names it: a
// file's or link's kind taken from there, anything else looked up. Raises
// with the message where it cannot be looked up or is not a file, folder or
// link.
tree::EntryInfo LookAt(const tree::OpenFolder& folder, const std::string& name,
                       const std::string& shown, tree::Kind listed);
// The entries of `folder`; raises where it cannot be read.
void ListOrFail(const tree::OpenFolder& folder, const std::string& shown,
                std::vector<tree::Listed>& entries);
// The folder `name` in `parent`; raises where it cannot be opened.
void OpenOrFail(const tree::OpenFolder& parent, const std::string& name, const std::string& shown,
                tree::OpenFolder& folder);

}  // namespace vekcli::update
