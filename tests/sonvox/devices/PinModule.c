/* A module that nothing links: loaded and closed by the module pin test. */
int PinModuleAnswer(void)
{
    return 42;
}
