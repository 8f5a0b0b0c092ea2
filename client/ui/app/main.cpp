// The Orvanta program. (Skeleton: the program work fills it in.)
int main() { return 0; }
