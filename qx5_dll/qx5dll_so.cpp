// libqx5dll.so is the static core linked whole; this unit only gives the target a source.
