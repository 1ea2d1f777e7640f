// vek diff -r and vek patch -r: the change between two trees as one update
// file, and that update applied to a tree all or nothing.
#pragma once

#include "options.h"

namespace vekcli {

// Exit status as diff's: 0 the trees are the same, 1 they differ, 2 trouble.
int RunTreeDiff(const Options& options);
// Exit status as patch's: 0 applied (or, with --dry-run, would apply), 1 the
// tree is not the one the update was made from (nothing written), 2 trouble
// (a damaged update, a refused path, a failure while writing; nothing changed).
int RunTreePatch(const Options& options);

}  // namespace vekcli
