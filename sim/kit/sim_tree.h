// Removing a tree the board keeps in its own directory, where anything may
// have been planted: nothing is followed, nothing outside is reached.
#ifndef QUORBIX_SIM_KIT_SIM_TREE_H
#define QUORBIX_SIM_KIT_SIM_TREE_H

// Removes `name` in the directory `parentFd` whatever it is: a directory
// with everything in it, following no link and staying on its file system.
// One directory is open at a time however deep the tree goes: the names on
// the way down are kept, and the way up is "..". 0 (also when nothing is
// there) or an errno.
int sim_remove_tree(int parentFd, const char *name);

#endif
