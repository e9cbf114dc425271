// The lease hook's yardstick: a program that does nothing, built and linked
// like the hook.
int main() { return 0; }
