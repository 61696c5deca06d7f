// koru-cli: the console front end.
int main() {
    return 0;
}
