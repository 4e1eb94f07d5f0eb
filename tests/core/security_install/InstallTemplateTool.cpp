// The template tool of the installation tests: all that matters about it is
// that it is a real executable file in a bundle, with a size and a
// modification time of its own.
int main() { return 0; }
