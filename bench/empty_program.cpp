// The start-up benchmark's yardstick: a C++ program that does nothing, built
// with the same flags as cputest.
int main() { return 0; }
