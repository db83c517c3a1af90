// The global allocation operators of every tarnvel program. They are kept in
// an object library of their own, linked into each executable, so that the
// replacement always takes part in the link.
