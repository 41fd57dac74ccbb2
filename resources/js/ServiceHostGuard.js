(() => {
    const allowedDomain = {{allowedDomain}};
    const host = String(window.location.hostname || '').toLowerCase();
    if (host !== allowedDomain && !host.endsWith('.' + allowedDomain)) {
        return;
    }
    {{script}}
})();
