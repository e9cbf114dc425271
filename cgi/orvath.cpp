#ifndef ORVATH_NO_MAIN
int main()
{
    return 0;
}
#endif
