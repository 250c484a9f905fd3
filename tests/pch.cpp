// Only there to compile the tests' shared precompiled header.
int main() {
  return 0;
}
