(function() {
    try {
        if (window.__orviFileImageBitmapFallback || typeof window.createImageBitmap !== 'function') {
            return;
        }
        window.__orviFileImageBitmapFallback = true;
        const originalCreateImageBitmap = window.createImageBitmap;
        window.createImageBitmap = function(source) {
            if (typeof File !== 'undefined' && source instanceof File &&
                String(source.type || '').toLowerCase().startsWith('image/')) {
                return Promise.reject(new DOMException('Use FileReader fallback for local images', 'NotSupportedError'));
            }
            return originalCreateImageBitmap.apply(window, arguments);
        };
    } catch (e) {}
})();
