// Does nothing: the tests only read the version resource linked into it.
int main() { return 0; }
