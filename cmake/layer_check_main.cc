// Linked with one layer's whole library and the layers below it: the link
// fails when the layer uses anything of a layer above.
int main() { return 0; }
