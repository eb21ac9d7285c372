// Keeps a layer library valid while its folder is still empty.
