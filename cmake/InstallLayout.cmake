# Where `cmake --install` and the Debian package put things, relative to the prefix. The
# programs find their shipped files from their own folder through the relative paths below,
# so an install works at any prefix and from a package unpacked under any root.
set(LUMISIFT_INSTALL_BINDIR bin)
# Files only Lumisift loads (the banner engine): a private folder, not on the loader's path.
set(LUMISIFT_INSTALL_LIBDIR lib/lumisift)
# Pictures and other data the programs read (the viewer's loading picture).
set(LUMISIFT_INSTALL_DATADIR share/lumisift)
set(LUMISIFT_INSTALL_SHAREDIR share)
set(LUMISIFT_INSTALL_MANDIR share/man)

file(RELATIVE_PATH LUMISIFT_LIBDIR_FROM_BINDIR
  /prefix/${LUMISIFT_INSTALL_BINDIR} /prefix/${LUMISIFT_INSTALL_LIBDIR})
file(RELATIVE_PATH LUMISIFT_DATADIR_FROM_BINDIR
  /prefix/${LUMISIFT_INSTALL_BINDIR} /prefix/${LUMISIFT_INSTALL_DATADIR})
