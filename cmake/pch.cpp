// The precompiled headers are built from this otherwise empty unit.
