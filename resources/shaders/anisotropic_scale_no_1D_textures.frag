#version 120

// For contexts without 1-D textures: the softness curve is a one-row 2-D
// texture. Otherwise the same as anisotropic_scale.frag.
//
// Coverage of one fragment of a stroke: a soft edge from the family's softness
// curve, an anti-aliased rim one feather wide on either side of the outline,
// and for the pencil the paper's tooth and the pen's grain. The result goes to
// all four channels; the renderer reads back red.

uniform sampler2D curve_softness; // red: softness across the stroke; green: grain strength
uniform sampler2D paper_texture;  // red: paper grain; green: pen grain
uniform vec2 paper_texture_offset;
uniform vec2 paper_texture_size;
uniform float renderScale;
uniform float feather;
uniform int pen_type;

varying float opacity;
varying float radius;
varying vec2 normal;

void main()
{
    float dc = length(normal) * (radius + feather); // distance to the centre line
    float de = radius - dc;                          // distance to the edge, negative outside
    bool pencil = pen_type == 0;
    vec2 tc = vec2((paper_texture_offset.x + gl_FragCoord.x) / renderScale,
                   (paper_texture_offset.y - gl_FragCoord.y) / renderScale) / paper_texture_size;

    float antiAliasing;
    if (de >= feather)
        antiAliasing = 1.0;
    else if (de >= -feather)
        antiAliasing = min(1.0, (de + feather) / (2.0 * feather));
    else
        discard;

    vec4 paper = texture2D(paper_texture, tc);
    float s;
    float g;
    if (radius <= max(renderScale, feather)) {
        // Thin strokes: too narrow for a profile, so one strength throughout.
        s = texture2D(curve_softness, vec2(0.5, 0.0)).r;
        g = 1.0 - texture2D(curve_softness, vec2(1.5 - pow(radius, 0.25), 0.0)).g * paper.g;
    } else {
        float outer = radius + feather;
        float dOuter = max(de + feather, 1e-4); // distance to the feathered edge
        float grain;
        if (outer >= 8.0 * renderScale)
            grain = clamp(1.0 - pow(dOuter / outer, max(0.0, 4.0 / dOuter)), 0.0, 1.0);
        else if (outer <= 3.0 * renderScale)
            grain = 1.0 - dOuter / (3.0 * renderScale);
        else
            grain = 1.0 - dOuter / outer;
        s = texture2D(curve_softness, vec2(dc / (radius - feather), 0.0)).r;
        g = 1.0 - texture2D(curve_softness, vec2(grain, 0.0)).g * paper.g;
    }

    float softness = pencil ? s * g : s;
    float paperGrain = pencil ? paper.r : 1.0;
    gl_FragColor = vec4(opacity * softness * antiAliasing * paperGrain);
}
