// The same name as app/Reader.h but for its case.
