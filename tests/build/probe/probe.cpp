// Warns on purpose: an unused variable.
int probe()
{
    int unused = 0;
    return 0;
}
