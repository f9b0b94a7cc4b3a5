// Exported only as "_Foo@8" (see the .def file), as 32-bit stdcall names are.
extern "C" int decoratedFoo(int a, int b) {
  return a + b;
}
