// A header whose name another folder uses too.
