// Anchor for the test support library, so it builds while it has no other
// sources of its own.
namespace margivo::test {
void testSupportAnchor() {}
}  // namespace margivo::test
